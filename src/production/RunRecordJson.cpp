#include "RunRecordJson.h"

#include "RecordFields.h"

namespace vlboot {

QJsonObject RunRecordToJson(const RunRecord& record)
{
    QJsonObject object;
    for (const RecordField& field : RecordFields())
        object.insert(QLatin1String(field.name), field.get(record));
    return object;
}

std::optional<RunRecord> RunRecordFromJson(const QJsonObject& object)
{
    RunRecord record;
    for (const RecordField& field : RecordFields()) {
        // A record queued by an older vlboot lacks the newer fields: they stay empty.
        const QJsonValue value = object.value(QLatin1String(field.name));
        if (!value.isUndefined())
            field.set(record, value);
    }
    if (!record.time.isValid())
        return std::nullopt;
    return record;
}

} // namespace vlboot
