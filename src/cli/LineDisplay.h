#pragma once

#include "CliView.h"
#include "LineUnit.h"

#include <vector>

namespace vlboot::cli {

// How a production line shows its units on standard error: one live line
// per port, redrawn in place on a terminal (port, device kind, latest
// caption, percent, bytes per second, time left), notices above them, and
// at the end a table of the results. More ports than the terminal has lines
// show as many as fit and one line for the rest; a terminal whose width
// changed gets the lines anew below (the old ones may have wrapped).
class LineDisplay {
public:
    LineDisplay(const CliOutput& output, bool live, const std::vector<LineUnit>& units)
        : output_(output)
        , live_(live)
        , units_(units)
    {
    }

    bool Live() const { return live_; }
    // A line of its own, above the live lines.
    void Notice(const QString& line);
    // Redraws the live lines (when live).
    void Draw(double now);
    void MarkDirty() { dirty_ = true; }
    bool Dirty() const { return dirty_; }
    // The table of the results, on standard error.
    void ResultsTable() const;

private:
    void clearLive();
    QString liveText(const LineUnit& unit, double now) const;

    const CliOutput& output_;
    const bool live_;
    const std::vector<LineUnit>& units_;
    int drawnLines_ = 0;
    int drawnColumns_ = 0;
    bool dirty_ = false;
    double lastNow_ = 0;
};

} // namespace vlboot::cli
