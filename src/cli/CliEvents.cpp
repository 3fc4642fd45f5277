#include "CliEvents.h"

#include "CliOptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace vlboot::cli {
namespace {

QByteArray line(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// Milliseconds and seconds to three decimals: enough to compare adapters,
// short enough to read.
double rounded(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

} // namespace

QByteArray CaptionEvent(const QString& text)
{
    return line({{QStringLiteral("event"), QStringLiteral("caption")}, {QStringLiteral("text"), text}});
}

QByteArray ProgressEvent(int percent, double bytes, double total)
{
    return line({{QStringLiteral("event"), QStringLiteral("progress")},
                 {QStringLiteral("percent"), percent},
                 {QStringLiteral("bytes"), static_cast<qint64>(bytes)},
                 {QStringLiteral("total"), static_cast<qint64>(total)}});
}

QByteArray MessageEvent(const QString& title, const QString& text)
{
    return line({{QStringLiteral("event"), QStringLiteral("message")},
                 {QStringLiteral("title"), title},
                 {QStringLiteral("text"), text}});
}

QByteArray ResultEvent(const RunResult& result)
{
    return line({{QStringLiteral("event"), QStringLiteral("result")},
                 {QStringLiteral("status"), result.status},
                 {QStringLiteral("outcome"), OutcomeName(result.status)},
                 {QStringLiteral("why"), result.why.isEmpty() ? QJsonValue() : QJsonValue(result.why)},
                 {QStringLiteral("warnings"), QJsonArray::fromStringList(result.warnings)},
                 {QStringLiteral("serial_number"), result.serialNumber ? QJsonValue(*result.serialNumber) : QJsonValue()},
                 {QStringLiteral("exchanges"), result.exchanges},
                 {QStringLiteral("median_rtt_ms"), result.medianRttMs ? QJsonValue(rounded(*result.medianRttMs)) : QJsonValue()},
                 {QStringLiteral("wall_s"), rounded(result.wallSeconds)},
                 {QStringLiteral("record_error"), result.recordError.isEmpty() ? QJsonValue() : QJsonValue(result.recordError)}});
}

QString OutcomeName(int status)
{
    switch (status) {
    case ExitCodes::Success: return QStringLiteral("success");
    case ExitCodes::Timeout: return QStringLiteral("timeout");
    case ExitCodes::Fault: return QStringLiteral("fault");
    default: return status > 128 ? QStringLiteral("stopped") : QStringLiteral("fault");
    }
}

} // namespace vlboot::cli
