#include "LineDisplay.h"

#include "ProgressBar.h"

#include <algorithm>

namespace vlboot::cli {
namespace {

QByteArray textLine(const QString& text)
{
    return text.toLocal8Bit() + '\n';
}

} // namespace

void LineDisplay::Notice(const QString& line)
{
    clearLive();
    output_.err(textLine(line));
    if (live_)
        Draw(lastNow_);
}

QString LineDisplay::liveText(const LineUnit& unit, double now) const
{
    int portWidth = 4;
    for (const LineUnit& u : units_)
        portWidth = std::max(portWidth, static_cast<int>(u.port.size()));
    QString rate = QStringLiteral("- B/s");
    QString left = QStringLiteral("-:-- left");
    const double t = unit.ended ? unit.endTime : now; // an ended unit's rate stays
    if (unit.rateStart && t > *unit.rateStart && unit.bytes > unit.rateStartBytes) {
        const double perSecond = (unit.bytes - unit.rateStartBytes) / (t - *unit.rateStart);
        rate = ProgressBar::RateText(perSecond);
        left = ProgressBar::DurationText(std::max(0.0, unit.total - unit.bytes) / perSecond) + QStringLiteral(" left");
    }
    if (unit.ended)
        left = QString();
    const QString text = QStringLiteral("%1  %2  %3 %4%  %5  %6")
                             .arg(unit.port, -portWidth)
                             .arg(unit.kind.isEmpty() ? QStringLiteral("-") : unit.kind, -9)
                             .arg(unit.caption, -27)
                             .arg(unit.percent, 3)
                             .arg(rate, 10)
                             .arg(left);
    const int columns = output_.columns ? output_.columns() : 0;
    return (columns > 1 ? text.left(columns - 1) : text).trimmed();
}

void LineDisplay::Draw(double now)
{
    lastNow_ = now;
    if (!live_)
        return;
    const int columns = output_.columns ? output_.columns() : 0;
    const int rows = output_.rows ? output_.rows() : 0;
    QByteArray bytes;
    if (drawnLines_ > 0 && columns == drawnColumns_)
        bytes += "\x1b[" + QByteArray::number(drawnLines_) + 'A';
    drawnColumns_ = columns;
    // At most the terminal's height less one line, so that nothing scrolls.
    const int all = static_cast<int>(units_.size());
    const int shown = rows > 2 && all > rows - 1 ? rows - 2 : all;
    for (int i = 0; i < shown; ++i)
        bytes += '\r' + liveText(units_[static_cast<std::size_t>(i)], now).toLocal8Bit() + "\x1b[K\n";
    if (shown < all) {
        int running = 0;
        int ended = 0;
        for (int i = shown; i < all; ++i)
            (units_[static_cast<std::size_t>(i)].ended ? ended : running) += 1;
        bytes += QStringLiteral("\r... and %1 more ports: %2 running, %3 ended\x1b[K\n").arg(all - shown).arg(running).arg(ended).toLocal8Bit();
    }
    drawnLines_ = shown < all ? shown + 1 : shown;
    dirty_ = false;
    output_.err(bytes);
}

void LineDisplay::clearLive()
{
    if (!live_ || drawnLines_ == 0)
        return;
    output_.err("\x1b[" + QByteArray::number(drawnLines_) + "A\r\x1b[J");
    drawnLines_ = 0;
}

void LineDisplay::ResultsTable() const
{
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("DEVICE"), QStringLiteral("SERIAL"), QStringLiteral("OUTCOME"),
                             QStringLiteral("TIME"), QStringLiteral("REASON")}};
    for (const LineUnit& u : units_)
        rows << QStringList{u.port, u.kind.isEmpty() ? QStringLiteral("-") : u.kind,
                            u.serial ? QString::number(*u.serial) : QStringLiteral("-"), OutcomeName(u.status),
                            QStringLiteral("%1 s").arg(u.seconds, 0, 'f', 1), u.why};
    std::vector<qsizetype> widths(6, 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[static_cast<std::size_t>(i)] = std::max(widths[static_cast<std::size_t>(i)], row.at(i).size());
    QByteArray table;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            line += row.at(i).leftJustified(widths[static_cast<std::size_t>(i)]) + QStringLiteral("  ");
        table += textLine((line + row.constLast()).trimmed());
    }
    output_.err(table);
}

} // namespace vlboot::cli
