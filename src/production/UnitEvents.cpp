#include "UnitEvents.h"

#include "ExitStatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace vlboot {
namespace {

// Milliseconds and seconds to three decimals: enough to compare adapters,
// short enough to read.
double rounded(double value)
{
    return std::round(value * 1000.0) / 1000.0;
}

QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

ResultEventData resultOf(const QJsonObject& o)
{
    ResultEventData r;
    r.status = o.value(QStringLiteral("status")).toInt();
    r.why = o.value(QStringLiteral("why")).toString();
    for (const QJsonValue& w : o.value(QStringLiteral("warnings")).toArray())
        r.warnings << w.toString();
    const QJsonValue serial = o.value(QStringLiteral("serial_number"));
    if (serial.isDouble())
        r.serialNumber = serial.toInteger();
    r.deviceKind = o.value(QStringLiteral("device_kind")).toString();
    r.exchanges = o.value(QStringLiteral("exchanges")).toInt();
    const QJsonValue median = o.value(QStringLiteral("median_rtt_ms"));
    if (median.isDouble())
        r.medianRttMs = median.toDouble();
    r.wallSeconds = o.value(QStringLiteral("wall_s")).toDouble();
    r.recordError = o.value(QStringLiteral("record_error")).toString();
    return r;
}

} // namespace

QByteArray EventLine(QJsonObject object, const QString& port)
{
    if (!port.isEmpty())
        object.insert(QStringLiteral("port"), port);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray CaptionEvent(const QString& text)
{
    return EventLine({{QStringLiteral("event"), QStringLiteral("caption")}, {QStringLiteral("text"), text}});
}

QByteArray DeviceEvent(const QString& kind)
{
    return EventLine({{QStringLiteral("event"), QStringLiteral("device")}, {QStringLiteral("kind"), kind}});
}

QByteArray ProgressEvent(int percent, double bytes, double total, int exchanges)
{
    return EventLine({{QStringLiteral("event"), QStringLiteral("progress")},
                      {QStringLiteral("percent"), percent},
                      {QStringLiteral("bytes"), static_cast<qint64>(bytes)},
                      {QStringLiteral("total"), static_cast<qint64>(total)},
                      {QStringLiteral("exchanges"), exchanges}});
}

QByteArray SerialNumberEvent(qint64 number)
{
    return EventLine({{QStringLiteral("event"), QStringLiteral("serial_number")}, {QStringLiteral("number"), number}});
}

QByteArray MessageEvent(const QString& title, const QString& text)
{
    return EventLine({{QStringLiteral("event"), QStringLiteral("message")},
                      {QStringLiteral("title"), title},
                      {QStringLiteral("text"), text}});
}

QByteArray ResultEvent(const ResultEventData& result)
{
    return EventLine({{QStringLiteral("event"), QStringLiteral("result")},
                      {QStringLiteral("status"), result.status},
                      {QStringLiteral("outcome"), OutcomeName(result.status)},
                      {QStringLiteral("why"), textOrNull(result.why)},
                      {QStringLiteral("warnings"), QJsonArray::fromStringList(result.warnings)},
                      {QStringLiteral("serial_number"), result.serialNumber ? QJsonValue(*result.serialNumber) : QJsonValue()},
                      {QStringLiteral("device_kind"), textOrNull(result.deviceKind)},
                      {QStringLiteral("exchanges"), result.exchanges},
                      {QStringLiteral("median_rtt_ms"), result.medianRttMs ? QJsonValue(rounded(*result.medianRttMs)) : QJsonValue()},
                      {QStringLiteral("wall_s"), rounded(result.wallSeconds)},
                      {QStringLiteral("record_error"), textOrNull(result.recordError)}});
}

std::optional<UnitEvent> ParseUnitEvent(QByteArrayView line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray());
    if (!document.isObject())
        return std::nullopt;
    UnitEvent e;
    e.object = document.object();
    const QJsonObject& o = e.object;
    const QString name = o.value(QStringLiteral("event")).toString();
    if (name == QLatin1String("caption")) {
        e.kind = UnitEvent::Kind::Caption;
        e.text = o.value(QStringLiteral("text")).toString();
    } else if (name == QLatin1String("device")) {
        e.kind = UnitEvent::Kind::Device;
        e.text = o.value(QStringLiteral("kind")).toString();
    } else if (name == QLatin1String("progress")) {
        e.kind = UnitEvent::Kind::Progress;
        e.percent = o.value(QStringLiteral("percent")).toInt();
        e.bytes = o.value(QStringLiteral("bytes")).toDouble();
        e.total = o.value(QStringLiteral("total")).toDouble();
        e.exchanges = o.value(QStringLiteral("exchanges")).toInt();
    } else if (name == QLatin1String("serial_number")) {
        e.kind = UnitEvent::Kind::SerialNumber;
        e.number = o.value(QStringLiteral("number")).toInteger();
    } else if (name == QLatin1String("message")) {
        e.kind = UnitEvent::Kind::Message;
        e.title = o.value(QStringLiteral("title")).toString();
        e.text = o.value(QStringLiteral("text")).toString();
    } else if (name == QLatin1String("result")) {
        e.kind = UnitEvent::Kind::Result;
        e.result = resultOf(o);
    }
    return e;
}

QString OutcomeName(int status)
{
    switch (status) {
    case ExitStatus::Success: return QStringLiteral("success");
    case ExitStatus::Timeout: return QStringLiteral("timeout");
    case ExitStatus::Fault: return QStringLiteral("fault");
    default: return status > ExitStatus::SignalBase ? QStringLiteral("stopped") : QStringLiteral("fault");
    }
}

} // namespace vlboot
