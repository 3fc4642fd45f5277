#include "RecordFields.h"

#include <QJsonArray>
#include <array>

namespace vlboot {
namespace {

using K = RecordField::Kind;

// One entry per kind of member: the name, and how the member is read and set.
#define TEXT_FIELD(name, member)                                                                                        \
    RecordField{name, K::Text, [](const RunRecord& r) { return QJsonValue(r.member); },                                 \
                [](RunRecord& r, const QJsonValue& v) { r.member = v.toString(); }}
#define INT_FIELD(name, member)                                                                                         \
    RecordField{name, K::Integer, [](const RunRecord& r) { return QJsonValue(static_cast<qint64>(r.member)); },         \
                [](RunRecord& r, const QJsonValue& v) { r.member = static_cast<decltype(r.member)>(v.toInteger()); }}

const std::array<RecordField, 22> Fields{{
    {"ended_at", K::Time,
     [](const RunRecord& r) { return QJsonValue(r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODateWithMs)); },
     [](RunRecord& r, const QJsonValue& v) { r.time = QDateTime::fromString(v.toString(), Qt::ISODateWithMs); }},
    TEXT_FIELD("host", host),
    TEXT_FIELD("station", station),
    TEXT_FIELD("program", program),
    TEXT_FIELD("version", version),
    TEXT_FIELD("com_port", comPort),
    TEXT_FIELD("device_path", devicePath),
    INT_FIELD("baud", baud),
    TEXT_FIELD("address", address),
    TEXT_FIELD("device_kind", deviceKind),
    TEXT_FIELD("firmware_path", firmwarePath),
    {"firmware_size", K::OptionalInteger,
     [](const RunRecord& r) { return r.firmwareSize < 0 ? QJsonValue() : QJsonValue(r.firmwareSize); },
     [](RunRecord& r, const QJsonValue& v) { r.firmwareSize = v.isDouble() ? v.toInteger() : -1; }},
    {"firmware_sha256", K::Text, [](const RunRecord& r) { return QJsonValue(QString::fromLatin1(r.firmwareSha256)); },
     [](RunRecord& r, const QJsonValue& v) { r.firmwareSha256 = v.toString().toLatin1(); }},
    {"serial_number", K::OptionalInteger,
     [](const RunRecord& r) { return r.serialNumber ? QJsonValue(*r.serialNumber) : QJsonValue(); },
     [](RunRecord& r, const QJsonValue& v) { r.serialNumber = v.isDouble() ? std::optional(v.toInteger()) : std::nullopt; }},
    TEXT_FIELD("serial_write", serialWrite),
    TEXT_FIELD("outcome", outcome),
    TEXT_FIELD("caption", caption),
    TEXT_FIELD("failed_step", failedStep),
    TEXT_FIELD("reason", reason),
    {"warnings", K::TextList, [](const RunRecord& r) { return QJsonValue(QJsonArray::fromStringList(r.warnings)); },
     [](RunRecord& r, const QJsonValue& v) {
         r.warnings.clear();
         for (const QJsonValue& item : v.toArray())
             r.warnings << item.toString();
     }},
    INT_FIELD("exchanges", exchanges),
    {"seconds", K::Real, [](const RunRecord& r) { return QJsonValue(r.seconds); },
     [](RunRecord& r, const QJsonValue& v) { r.seconds = v.toDouble(); }},
}};

#undef TEXT_FIELD
#undef INT_FIELD

QString localTimeText(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

std::span<const RecordField> RecordFields()
{
    return Fields;
}

QString FieldText(const RecordField& field, const QJsonValue& value)
{
    switch (field.kind) {
    case K::Text: return value.toString();
    case K::Integer:
    case K::OptionalInteger: return value.isDouble() ? QString::number(value.toInteger()) : QString();
    case K::Real: return QString::number(value.toDouble(), 'f', 3);
    case K::Time: {
        const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        return localTimeText(time.toOffsetFromUtc(time.offsetFromUtc()));
    }
    case K::TextList: {
        QStringList items;
        for (const QJsonValue& item : value.toArray())
            items << item.toString();
        return items.join(QLatin1Char('\n'));
    }
    }
    return {};
}

QJsonValue FieldFromText(const RecordField& field, const QString& text)
{
    switch (field.kind) {
    case K::Text: return text;
    case K::Integer: return text.toLongLong();
    case K::OptionalInteger: return text.isEmpty() ? QJsonValue() : QJsonValue(text.toLongLong());
    case K::Real: return text.toDouble();
    case K::Time: return QDateTime::fromString(text, Qt::ISODate).toString(Qt::ISODateWithMs);
    case K::TextList: return QJsonArray::fromStringList(text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n')));
    }
    return {};
}

} // namespace vlboot
