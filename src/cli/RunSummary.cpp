#include "RunSummary.h"

#include <algorithm>

namespace vlboot::cli {

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
