#include "ProgressBar.h"

#include <algorithm>
#include <cmath>

namespace vlboot::cli {

ProgressBar::ProgressBar(Writer write, Clock clock)
    : write_(std::move(write))
    , clock_(std::move(clock))
{
}

void ProgressBar::Update(float percent, double sent, double total)
{
    const double now = clock_();
    if (!startTime_) {
        startTime_ = now;
        startBytes_ = sent;
    }
    percent_ = percent;
    sent_ = sent;
    total_ = total;
    pending_ = true;
    const bool full = percent >= 100.0f;
    if (full || !lastDraw_ || now - *lastDraw_ >= MinRedrawSeconds)
        draw();
}

void ProgressBar::FinishLine()
{
    if (pending_ && lineOpen_)
        draw();
    if (!lineOpen_)
        return;
    write_(QByteArrayLiteral("\n"));
    lineOpen_ = false;
    drawnWidth_ = 0;
}

void ProgressBar::draw()
{
    const double now = clock_();
    std::optional<double> rate;
    if (startTime_ && now > *startTime_ && sent_ > startBytes_)
        rate = (sent_ - startBytes_) / (now - *startTime_);
    QString text = Render(percent_, sent_, total_, rate);
    // Blanks over what a longer previous line left behind.
    const int width = static_cast<int>(text.size());
    if (width < drawnWidth_)
        text += QString(drawnWidth_ - width, QLatin1Char(' '));
    drawnWidth_ = std::max(drawnWidth_, width);
    write_('\r' + text.toLocal8Bit());
    lineOpen_ = true;
    pending_ = false;
    lastDraw_ = now;
}

QString ProgressBar::Render(float percent, double sent, double total, std::optional<double> bytesPerSecond)
{
    const double p = std::clamp(static_cast<double>(percent), 0.0, 100.0);
    const int filled = static_cast<int>(p / 100.0 * BarWidth);
    const QString bar = QString(filled, QLatin1Char('#')) + QString(BarWidth - filled, QLatin1Char('-'));
    QString left = QStringLiteral("-:-- left");
    QString rate = QStringLiteral("- B/s");
    if (bytesPerSecond && *bytesPerSecond > 0) {
        rate = RateText(*bytesPerSecond);
        left = DurationText(std::max(0.0, total - sent) / *bytesPerSecond) + QStringLiteral(" left");
    }
    return QStringLiteral("[%1] %2%  %3/%4 bytes  %5  %6")
        .arg(bar)
        .arg(static_cast<int>(p), 3)
        .arg(static_cast<qint64>(sent))
        .arg(static_cast<qint64>(total))
        .arg(rate, left);
}

QString ProgressBar::RateText(double bytesPerSecond)
{
    if (bytesPerSecond < 1000)
        return QStringLiteral("%1 B/s").arg(static_cast<int>(std::lround(bytesPerSecond)));
    if (bytesPerSecond < 1e6)
        return QStringLiteral("%1 kB/s").arg(bytesPerSecond / 1e3, 0, 'f', 1);
    return QStringLiteral("%1 MB/s").arg(bytesPerSecond / 1e6, 0, 'f', 2);
}

QString ProgressBar::DurationText(double seconds)
{
    const long long s = std::llround(std::clamp(seconds, 0.0, 359999.0));
    const QString mmss = QStringLiteral("%1:%2").arg((s / 60) % 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    if (s < 3600)
        return mmss;
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg((s / 60) % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace vlboot::cli
