#include "ProgressBar.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vlboot::cli {

ProgressBar::ProgressBar(Writer write, Clock clock, Columns columns)
    : write_(std::move(write))
    , clock_(std::move(clock))
    , columns_(std::move(columns))
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
}

void ProgressBar::draw()
{
    const double now = clock_();
    std::optional<double> rate;
    if (startTime_ && now > *startTime_ && sent_ > startBytes_)
        rate = (sent_ - startBytes_) / (now - *startTime_);
    const int columns = columns_ ? columns_() : 0;
    // A terminal made narrower may have wrapped the line drawn before: the
    // bar goes on on a line of its own rather than over a broken one.
    if (lineOpen_ && columns != drawnColumns_)
        write_(QByteArrayLiteral("\n"));
    drawnColumns_ = columns;
    const QString text = Render(percent_, sent_, total_, rate, columns);
    // Erased to the line's end: no blanks that could wrap.
    write_('\r' + text.toLocal8Bit() + "\x1b[K");
    lineOpen_ = true;
    pending_ = false;
    lastDraw_ = now;
}

QString ProgressBar::Render(float percent, double sent, double total, std::optional<double> bytesPerSecond, int columns)
{
    const double p = std::clamp(static_cast<double>(percent), 0.0, 100.0);
    QString left = QStringLiteral("-:-- left");
    QString rate = QStringLiteral("- B/s");
    if (bytesPerSecond && *bytesPerSecond > 0) {
        rate = RateText(*bytesPerSecond);
        left = DurationText(std::max(0.0, total - sent) / *bytesPerSecond) + QStringLiteral(" left");
    }
    const QStringList parts{QStringLiteral("%1%").arg(static_cast<int>(p), 3),
                            QStringLiteral("%1/%2 bytes").arg(static_cast<qint64>(sent)).arg(static_cast<qint64>(total)),
                            rate, left};
    // A line as wide as the terminal would wrap, and every redraw would then
    // add a line: narrower terminals get a shorter bar, then fewer parts.
    const qsizetype limit = columns > 0 ? columns - 1 : std::numeric_limits<qsizetype>::max();
    for (qsizetype keep = parts.size(); keep >= 1; --keep) {
        const QString tail = parts.mid(0, keep).join(QStringLiteral("  "));
        const qsizetype room = limit - tail.size() - 3; // "[", "] "
        if (room < MinBarWidth)
            continue;
        const int width = static_cast<int>(std::min<qsizetype>(room, BarWidth));
        const int filled = static_cast<int>(p / 100.0 * width);
        return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'))
            + QStringLiteral("] ") + tail;
    }
    return parts.constFirst().trimmed().left(std::max<qsizetype>(limit, 0));
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
