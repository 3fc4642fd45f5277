#pragma once

#include "RunRecord.h"

#include <QJsonObject>
#include <optional>

namespace vlboot {

// A unit's record as a JSON object, for the production database's local
// queue file and vlboot-cli --records --json: one key per field of
// RecordFields.h ("ended_at" is local time with its UTC offset, ISO 8601;
// "serial_number" and "firmware_size" are null when there is none;
// "warnings" is an array).
QJsonObject RunRecordToJson(const RunRecord& record);
// Nothing when the object holds no valid "ended_at".
std::optional<RunRecord> RunRecordFromJson(const QJsonObject& object);

} // namespace vlboot
