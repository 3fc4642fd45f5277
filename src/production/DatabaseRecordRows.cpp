// The production database's table of units: rows made from and read back
// into records through the one table of record fields.

#include "ProductionDatabase.h"

#include "RecordFields.h"

#include <QJsonValue>

namespace vlboot {
namespace {

// "record_id, utc_offset, ended_at, host, ...": the columns of a record row.
QByteArray columns(bool epochTime)
{
    QByteArray list = "record_id, utc_offset";
    for (const RecordField& field : RecordFields()) {
        const bool time = field.kind == RecordField::Kind::Time;
        list += ", " + (time && epochTime ? "extract(epoch from " + QByteArray(field.name) + ")" : QByteArray(field.name));
    }
    return list;
}

} // namespace

Outcome ProductionDatabase::InsertRecords(const QList<Stored>& records)
{
    if (const Outcome opened = Open(); !opened.ok())
        return opened;
    if (const Outcome began = exec("BEGIN"); !began.ok())
        return began;
    QByteArray insert = "INSERT INTO vlboot_units (" + columns(false) + ") VALUES ($1, $2";
    for (int i = 0; i < static_cast<int>(RecordFields().size()); ++i)
        insert += ", $" + QByteArray::number(i + 3);
    insert += ") ON CONFLICT (record_id) DO NOTHING";
    for (const Stored& s : records) {
        Params params{s.id.toUtf8(), QByteArray::number(s.record.time.offsetFromUtc())};
        for (const RecordField& field : RecordFields()) {
            const QJsonValue value = field.get(s.record);
            if (field.kind == RecordField::Kind::Time)
                params << value.toString().toUtf8(); // with its milliseconds and offset
            else if (value.isNull())
                params << std::nullopt;
            else
                params << FieldText(field, value).toUtf8();
        }
        if (const Outcome inserted = exec(insert.constData(), params); !inserted.ok()) {
            (void)exec("ROLLBACK");
            return inserted;
        }
    }
    return exec("COMMIT");
}

Result<QList<ProductionDatabase::Stored>> ProductionDatabase::Records(const std::optional<QDateTime>& since,
                                                                      const std::optional<qint64>& serial)
{
    const QByteArray select = "SELECT " + columns(true)
        + " FROM vlboot_units WHERE ($1::timestamptz IS NULL OR ended_at >= $1) AND ($2::bigint IS NULL OR serial_number = $2) "
          "ORDER BY ended_at, inserted_at";
    const std::optional<QByteArray> from =
        since ? std::optional(since->toOffsetFromUtc(since->offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8()) : std::nullopt;
    Rows rows;
    if (const Outcome opened = Open(); !opened.ok())
        return opened;
    if (const Outcome asked = exec(select.constData(), {from, serial ? std::optional(QByteArray::number(*serial)) : std::nullopt}, &rows);
        !asked.ok())
        return asked;
    QList<Stored> records;
    for (const auto& row : rows) {
        Stored s;
        s.id = row.value(0).value_or(QString());
        const int offset = row.value(1).value_or(QString()).toInt();
        int column = 2;
        for (const RecordField& field : RecordFields()) {
            const std::optional<QString> text = row.value(column++);
            if (field.kind == RecordField::Kind::Time) {
                const auto ms = qRound64(text.value_or(QString()).toDouble() * 1000);
                s.record.time = QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset);
            } else {
                field.set(s.record, text ? FieldFromText(field, *text) : QJsonValue());
            }
        }
        records << s;
    }
    return records;
}

} // namespace vlboot
