#include "CliView.h"

#include "ExitStatus.h"
#include "RunSummary.h"
#include "TerminalText.h"
#include "UnitRecord.h"

#include <algorithm>
#include <cmath>

namespace vlboot::cli {
CliView::CliView(Mode mode, CliOutput output, ProgressBar::Clock clock, std::function<int()> exchanges)
    : mode_(mode)
    , output_(std::move(output))
    , clock_(clock)
    , exchanges_(std::move(exchanges))
    , bar_(output_.err, std::move(clock), output_.columns)
{
    if (mode_.quiet)
        mode_.progressBar = false;
}

void CliView::SetCaption(const QString& caption)
{
    // Captions go to standard output, which may share the terminal with the bar.
    finishBar();
    output_.out(mode_.json ? CaptionEvent(caption) : TerminalLine(caption));
}

void CliView::SetProgress(float value)
{
    progress_ = value;
}

void CliView::ReportBytes(double sent, double total)
{
    if (mode_.progressBar)
        bar_.Update(progress_, sent, total);
    if (mode_.json) {
        const int percent = static_cast<int>(std::floor(std::clamp(progress_, 0.0f, 100.0f)));
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            output_.out(ProgressEvent(percent, sent, total, exchanges_ ? exchanges_() : 0));
        }
    }
}

void CliView::ExplainFailure(const QString& why)
{
    why_ = why;
}

void CliView::Warn(const QString& warning)
{
    Notice(QStringLiteral("warning: ") + warning);
}

void CliView::ReportSerialNumber(std::int32_t number)
{
    Notice(QStringLiteral("serial number: %1").arg(number));
    if (mode_.json)
        output_.out(SerialNumberEvent(number));
}

void CliView::ReportDevice(std::uint8_t deviceType)
{
    if (mode_.json)
        output_.out(DeviceEvent(DeviceKindName(deviceType)));
}

void CliView::Notice(const QString& line)
{
    finishBar();
    output_.err(TerminalLine(line));
}

void CliView::ShowFailureBox()
{
    finishBar();
    output_.err(TerminalLine(QStringLiteral("Error!")) + TerminalLine(QStringLiteral("Fault during upload.")));
    output_.err(TerminalLine(QStringLiteral("why: ") + why_));
}

void CliView::ShowMessage(const QString& title, const QString& text)
{
    const QString line = title + QStringLiteral(": ") + text;
    if (shown_.contains(line))
        return;
    shown_.insert(line);
    finishBar();
    output_.err(TerminalLine(line));
    if (mode_.json)
        output_.out(MessageEvent(title, text));
}

void CliView::Finish(const UnitResult& unit)
{
    finishBar();
    // (A record that waits to be sent to the production database is kept:
    // it is said, but is no record error.)
    for (const QString& note : unit.kept.notes())
        Notice(QStringLiteral("vlboot-cli: ") + note);
    if (!unit.kept.ok())
        Notice(QStringLiteral("vlboot-cli: ") + unit.kept.why());
    if (unit.outcome == RunOutcome::Stopped)
        Notice(QStringLiteral("vlboot-cli: ") + unit.why);
    else if (unit.strictFault)
        Notice(QStringLiteral("vlboot-cli: --strict: the warnings above make this run a fault"));
    ResultEventData result;
    result.status = unit.status;
    result.why = unit.why;
    if (const QString missed = outputCheck_ ? outputCheck_() : QString(); !missed.isEmpty()) {
        Notice(QStringLiteral("vlboot-cli: ") + missed);
        if (result.status == ExitStatus::Success) {
            result.status = ExitStatus::Fault;
            result.why = missed;
        }
    }
    status_ = result.status;
    result.warnings = unit.warnings;
    result.serialNumber = unit.serialNumber;
    result.deviceKind = unit.deviceKind;
    result.exchanges = unit.exchanges;
    result.medianRttMs = unit.medianRttMs;
    result.wallSeconds = clock_ ? clock_() - wallStart_ : unit.seconds;
    result.recordError = unit.kept.ok() ? QString() : unit.kept.why();
    if (!mode_.quiet)
        output_.err(TerminalLine(SummaryLine(result.exchanges, result.wallSeconds, result.medianRttMs)));
    if (mode_.json)
        output_.out(ResultEvent(result));
}

void CliView::finishBar()
{
    if (mode_.progressBar)
        bar_.FinishLine();
}

} // namespace vlboot::cli
