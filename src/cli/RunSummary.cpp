#include "RunSummary.h"

#include <algorithm>

namespace vlboot::cli {

std::optional<double> MedianMilliseconds(std::vector<double> seconds)
{
    if (seconds.empty())
        return std::nullopt;
    const std::size_t mid = seconds.size() / 2;
    std::nth_element(seconds.begin(), seconds.begin() + mid, seconds.end());
    double median = seconds[mid];
    if (seconds.size() % 2 == 0) {
        // The lower middle value is the largest of the lower half.
        const double lower = *std::max_element(seconds.begin(), seconds.begin() + mid);
        median = (lower + median) / 2.0;
    }
    return median * 1000.0;
}

QString SummaryLine(int exchanges, double wallSeconds, std::optional<double> medianMs)
{
    const QString time = QString::number(wallSeconds, 'f', 2);
    if (exchanges == 0 || !medianMs)
        return QStringLiteral("vlboot-cli: no complete exchange in %1 s").arg(time);
    return QStringLiteral("vlboot-cli: %1 exchange%2 in %3 s, median round trip %4 ms per exchange")
        .arg(exchanges)
        .arg(exchanges == 1 ? QString() : QStringLiteral("s"))
        .arg(time)
        .arg(QString::number(*medianMs, 'f', *medianMs < 10 ? 2 : 1));
}

} // namespace vlboot::cli
