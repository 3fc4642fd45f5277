#pragma once

#include "CliView.h"
#include "UnitProcess.h"

#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

namespace vlboot::cli {

// The live part of a production line or a watch on standard error: lines
// redrawn in place on a terminal with the cursor-up and erase-line
// sequences, notices printed above them. More lines than the terminal has
// rows show as many as fit and one line for the rest; a terminal whose width
// changed gets the lines anew below (the old ones may have wrapped).
class LineDisplay {
public:
    LineDisplay(const CliOutput& output, bool live) : output_(output), live_(live) {}

    bool Live() const { return live_; }
    // A line of its own, above the live lines.
    void Notice(const QString& line);
    // Redraws the live lines (when live); `more(first)` is the line that
    // stands for the lines from `first` on that do not fit.
    void Draw(const QStringList& lines, const std::function<QString(int first)>& more = {});
    void MarkDirty() { dirty_ = true; }
    bool Dirty() const { return dirty_; }
    // On a live display: calls `draw` with `timer` at most ten times a
    // second, whenever something was marked since the last drawing.
    void KeepRedrawn(QTimer& timer, const std::function<void()>& draw);
    // The terminal's width, 0 when unknown.
    int Columns() const { return output_.columns ? output_.columns() : 0; }

private:
    void clearLive();

    const CliOutput& output_;
    const bool live_;
    QStringList lines_;
    std::function<QString(int)> more_;
    int drawnLines_ = 0;
    int drawnColumns_ = 0;
    bool dirty_ = false;
};

// A unit's live line: port, device kind, latest caption, percent, bytes per
// second and time left, `now` seconds after the unit's start; cut to the
// terminal's width.
QString LiveLine(const QString& port, int portWidth, const UnitState& unit, double now, int columns);

// A table in columns as wide as their widest cell, the last column as long
// as it is: one line each.
QStringList TableLines(const QList<QStringList>& rows);

} // namespace vlboot::cli
