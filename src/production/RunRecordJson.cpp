#include "RunRecordJson.h"

#include <QJsonValue>

namespace vlboot {

QJsonObject RunRecordToJson(const RunRecord& r)
{
    return QJsonObject{
        {QStringLiteral("ended_at"), r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {QStringLiteral("host"), r.host},
        {QStringLiteral("station"), r.station},
        {QStringLiteral("program"), r.program},
        {QStringLiteral("version"), r.version},
        {QStringLiteral("com_port"), r.comPort},
        {QStringLiteral("device_path"), r.devicePath},
        {QStringLiteral("baud"), r.baud},
        {QStringLiteral("address"), r.address},
        {QStringLiteral("device_kind"), r.deviceKind},
        {QStringLiteral("firmware_path"), r.firmwarePath},
        {QStringLiteral("firmware_size"), r.firmwareSize < 0 ? QJsonValue() : QJsonValue(r.firmwareSize)},
        {QStringLiteral("firmware_sha256"), QString::fromLatin1(r.firmwareSha256)},
        {QStringLiteral("serial_number"), r.serialNumber ? QJsonValue(*r.serialNumber) : QJsonValue()},
        {QStringLiteral("caption"), r.caption},
        {QStringLiteral("failed_step"), r.failedStep},
        {QStringLiteral("reason"), r.reason},
        {QStringLiteral("exchanges"), r.exchanges},
        {QStringLiteral("seconds"), r.seconds},
    };
}

std::optional<RunRecord> RunRecordFromJson(const QJsonObject& o)
{
    const auto text = [&o](const char* key) { return o.value(QLatin1String(key)).toString(); };
    RunRecord r;
    r.time = QDateTime::fromString(text("ended_at"), Qt::ISODateWithMs);
    if (!r.time.isValid())
        return std::nullopt;
    r.host = text("host");
    r.station = text("station");
    r.program = text("program");
    r.version = text("version");
    r.comPort = text("com_port");
    r.devicePath = text("device_path");
    r.baud = o.value(QLatin1String("baud")).toInt();
    r.address = text("address");
    r.deviceKind = text("device_kind");
    r.firmwarePath = text("firmware_path");
    r.firmwareSize = o.value(QLatin1String("firmware_size")).toInteger(-1);
    r.firmwareSha256 = text("firmware_sha256").toLatin1();
    if (o.value(QLatin1String("serial_number")).isDouble())
        r.serialNumber = o.value(QLatin1String("serial_number")).toInteger();
    r.caption = text("caption");
    r.failedStep = text("failed_step");
    r.reason = text("reason");
    r.exchanges = o.value(QLatin1String("exchanges")).toInt();
    r.seconds = o.value(QLatin1String("seconds")).toDouble();
    return r;
}

} // namespace vlboot
