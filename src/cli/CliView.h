#pragma once

#include "UnitEvents.h"
#include "ProgressBar.h"
#include "Station.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace vlboot::cli {

// Where the front end writes: standard output and standard error.
struct CliOutput {
    std::function<void(const QByteArray&)> out;
    std::function<void(const QByteArray&)> err;
    std::function<int()> columns = {}; // the width of standard error's terminal, 0 when unknown
    std::function<int()> rows = {};    // its height, 0 when unknown
};

// A unit's run as the command line shows it. Standard output carries the
// captions, one per line (or, with --json, one JSON event per line);
// standard error the progress bar (on a terminal), the link's messages,
// warnings, the serial number, the failure box with its "why" line, and the
// summary line.
class CliView : public StationView {
public:
    struct Mode {
        bool json = false;
        bool quiet = false;       // no bar, no summary line
        bool progressBar = false; // standard error is a terminal (and not quiet)
    };

    // `clock` gives seconds for the bar's rate; `exchanges` the complete
    // exchanges of the run so far (for the progress events).
    CliView(Mode mode, CliOutput output, ProgressBar::Clock clock, std::function<int()> exchanges = {});

    void SetCaption(const QString& caption) override;
    void SetProgress(float value) override;
    void ShowFailureBox() override;
    void ExplainFailure(const QString& why) override;
    void ReportBytes(double sent, double total) override;
    // "warning: ..." on standard error at once.
    void Warn(const QString& warning) override;
    // "serial number: N" on standard error (and an event).
    void ReportSerialNumber(std::int32_t number) override;
    void ReportDevice(std::uint8_t deviceType) override;
    // A message box of the serial link: "title: text" on standard error
    // (and a message event), each distinct message once per run.
    void ShowMessage(const QString& title, const QString& text) override;
    // Ends the run's output: what is said of its record, how a stopped run
    // stopped, --strict, the summary line (unless quiet) and, with --json,
    // the result event. `wallSeconds` from the program's start.
    void Finish(const UnitResult& result) override;

    // A line of its own on standard error (after the bar's line is ended).
    void Notice(const QString& line);
    void SetWallClockStart(double start) { wallStart_ = start; }
    // What the run's own outputs missed (the traffic log), asked at the end:
    // said, and a run that would end 0 ends 1 (the result says why).
    void SetOutputCheck(std::function<QString()> check) { outputCheck_ = std::move(check); }
    // The exit status as Finish reported it.
    int Status() const { return status_; }

private:
    void finishBar();

    Mode mode_;
    CliOutput output_;
    ProgressBar::Clock clock_;
    std::function<int()> exchanges_;
    ProgressBar bar_;
    float progress_ = 0;
    int lastPercent_ = -1;
    QString why_;
    QSet<QString> shown_;
    double wallStart_ = 0;
    std::function<QString()> outputCheck_;
    int status_ = 0;
};

} // namespace vlboot::cli
