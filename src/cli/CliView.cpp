#include "CliView.h"

#include "RunSummary.h"

#include <algorithm>
#include <cmath>

namespace vlboot::cli {
namespace {

QByteArray textLine(const QString& text)
{
    return text.toLocal8Bit() + '\n';
}

} // namespace

CliView::CliView(Mode mode, CliOutput output, ProgressBar::Clock clock)
    : mode_(mode)
    , output_(std::move(output))
    , bar_(output_.err, std::move(clock), output_.columns)
{
    if (mode_.quiet)
        mode_.progressBar = false;
}

void CliView::SetCaption(const QString& caption)
{
    // Captions go to standard output, which may share the terminal with the bar.
    finishBar();
    output_.out(mode_.json ? CaptionEvent(caption) : textLine(caption));
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
            output_.out(ProgressEvent(percent, sent, total));
        }
    }
}

void CliView::ExplainFailure(const QString& why)
{
    why_ = why;
}

void CliView::Warn(const QString& warning)
{
    warnings_ << warning;
    Notice(QStringLiteral("warning: ") + warning);
}

void CliView::ReportSerialNumber(std::int32_t number)
{
    Notice(QStringLiteral("serial number: %1").arg(number));
}

void CliView::Notice(const QString& line)
{
    finishBar();
    output_.err(textLine(line));
}

void CliView::ShowFailureBox()
{
    finishBar();
    output_.err(textLine(QStringLiteral("Error!")) + textLine(QStringLiteral("Fault during upload.")));
    output_.err(textLine(QStringLiteral("why: ") + Why()));
}

QString CliView::Why() const
{
    if (portHint_.isEmpty())
        return why_;
    if (why_.isEmpty())
        return portHint_;
    return why_ + QStringLiteral("; ") + portHint_;
}

void CliView::ShowMessage(const QString& title, const QString& text)
{
    const QString line = title + QStringLiteral(": ") + text;
    if (shown_.contains(line))
        return;
    shown_.insert(line);
    finishBar();
    output_.err(textLine(line));
    if (mode_.json)
        output_.out(MessageEvent(title, text));
}

void CliView::Finish(const RunResult& result)
{
    finishBar();
    if (!mode_.quiet)
        output_.err(textLine(SummaryLine(result.exchanges, result.wallSeconds, result.medianRttMs)));
    if (mode_.json)
        output_.out(ResultEvent(result));
}

void CliView::finishBar()
{
    if (mode_.progressBar)
        bar_.FinishLine();
}

} // namespace vlboot::cli
