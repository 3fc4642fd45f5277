#include "LineDisplay.h"

#include "TerminalText.h"

#include "ProgressBar.h"

#include <algorithm>

namespace vlboot::cli {
void LineDisplay::Notice(const QString& line)
{
    clearLive();
    output_.err(TerminalLine(line));
    if (live_)
        Draw(lines_, more_);
}

void LineDisplay::Draw(const QStringList& lines, const std::function<QString(int)>& more)
{
    lines_ = lines;
    more_ = more;
    if (!live_)
        return;
    const int columns = Columns();
    const int rows = output_.rows ? output_.rows() : 0;
    QByteArray bytes;
    if (drawnLines_ > 0 && columns == drawnColumns_)
        bytes += "\x1b[" + QByteArray::number(drawnLines_) + 'A';
    drawnColumns_ = columns;
    // At most the terminal's height less one line, so that nothing scrolls.
    const int all = static_cast<int>(lines.size());
    const int shown = rows > 2 && all > rows - 1 ? rows - 2 : all;
    for (int i = 0; i < shown; ++i)
        bytes += '\r' + EscapeForTerminal(lines.at(i)).toLocal8Bit() + "\x1b[K\n";
    if (shown < all)
        bytes += '\r' + (more ? more(shown) : QStringLiteral("... and %1 more").arg(all - shown)).toLocal8Bit() + "\x1b[K\n";
    drawnLines_ = shown < all ? shown + 1 : shown;
    dirty_ = false;
    output_.err(bytes);
}

void LineDisplay::KeepRedrawn(QTimer& timer, const std::function<void()>& draw)
{
    if (!live_)
        return;
    QObject::connect(&timer, &QTimer::timeout, [this, draw] {
        if (dirty_)
            draw();
    });
    timer.start(static_cast<int>(ProgressBar::MinRedrawSeconds * 1000));
}

void LineDisplay::clearLive()
{
    if (!live_ || drawnLines_ == 0)
        return;
    output_.err("\x1b[" + QByteArray::number(drawnLines_) + "A\r\x1b[J");
    drawnLines_ = 0;
}

QString LiveLine(const QString& port, int portWidth, const UnitState& unit, double now, int columns)
{
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
                             .arg(port, -portWidth)
                             .arg(unit.kind.isEmpty() ? QStringLiteral("-") : unit.kind, -9)
                             .arg(unit.caption, -27)
                             .arg(unit.percent, 3)
                             .arg(rate, 10)
                             .arg(left);
    return (columns > 1 ? text.left(columns - 1) : text).trimmed();
}

QStringList TableLines(const QList<QStringList>& rows)
{
    std::vector<qsizetype> widths;
    for (const QStringList& row : rows) {
        widths.resize(std::max(widths.size(), static_cast<std::size_t>(row.size())), 0);
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[static_cast<std::size_t>(i)] = std::max(widths[static_cast<std::size_t>(i)], row.at(i).size());
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            line += row.at(i).leftJustified(widths[static_cast<std::size_t>(i)]) + QStringLiteral("  ");
        lines << (row.isEmpty() ? QString() : (line + row.constLast()).trimmed());
    }
    return lines;
}

} // namespace vlboot::cli
