#pragma once

#include "CliEvents.h"
#include "ProgressBar.h"
#include "RunView.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace vlboot::cli {

// Where the front end writes: standard output and standard error.
struct CliOutput {
    std::function<void(const QByteArray&)> out;
    std::function<void(const QByteArray&)> err;
    std::function<int()> columns = {}; // the width of standard error's terminal, 0 when unknown
};

// The programming run as the command line shows it. Standard output carries
// the captions, one per line (or, with --json, one JSON event per line);
// standard error the progress bar (on a terminal), the link's messages, the
// failure box with its "why" line, and the summary line.
class CliView : public RunView {
public:
    struct Mode {
        bool json = false;
        bool quiet = false;       // no bar, no summary line
        bool progressBar = false; // standard error is a terminal (and not quiet)
    };

    CliView(Mode mode, CliOutput output, ProgressBar::Clock clock);

    void SetCaption(const QString& caption) override;
    void SetProgress(float value) override;
    void ShowFailureBox() override;
    void ExplainFailure(const QString& why) override;
    void ReportBytes(double sent, double total) override;
    // "warning: ..." on standard error at once; kept for the result.
    void Warn(const QString& warning) override;
    // "serial number: N" on standard error.
    void ReportSerialNumber(std::int32_t number) override;

    // A line of its own on standard error (after the bar's line is ended).
    void Notice(const QString& line);
    const QStringList& Warnings() const { return warnings_; }

    // A message box of the serial link: "title: text" on standard error
    // (and a message event), each distinct message once per run.
    void ShowMessage(const QString& title, const QString& text);
    // Why the port could not be opened, added to the "why" line of a failure.
    void SetPortHint(const QString& hint) { portHint_ = hint; }

    // The "why" of the failure: the run's explanation and the port hint.
    QString Why() const;

    // Ends the run's output: ends the bar's line, prints the summary line
    // (unless quiet) and, with --json, the result event.
    void Finish(const RunResult& result);

private:
    void finishBar();

    Mode mode_;
    CliOutput output_;
    ProgressBar bar_;
    float progress_ = 0;
    int lastPercent_ = -1;
    QString why_;
    QString portHint_;
    QStringList warnings_;
    QSet<QString> shown_;
};

} // namespace vlboot::cli
