#pragma once

#include "RunRecord.h"

#include <QJsonValue>
#include <span>

namespace vlboot {

// The fields of a unit's record, described once: their names (the columns
// of runs.csv and of the database's table, the keys of the JSON records) in
// order, their kinds, and how each is read from and put into a RunRecord.
// runs.csv, the JSON records and the database's rows are all made from
// this table.
struct RecordField {
    enum class Kind {
        Text,            // JSON string
        Integer,         // JSON number
        OptionalInteger, // JSON number, or null for none
        Real,            // JSON number, three decimals in text
        Time,            // JSON string: ISO 8601 local time with its offset and milliseconds
        TextList,        // JSON array of strings; one per line in text
    };
    const char* name;
    Kind kind;
    QJsonValue (*get)(const RunRecord&);
    void (*set)(RunRecord&, const QJsonValue&);
};

std::span<const RecordField> RecordFields();

// A field's value as text (runs.csv, the database's parameters): numbers in
// decimal (a real with three decimals), a time as local time with its UTC
// offset to the second, a list one item per line; "" for none.
QString FieldText(const RecordField& field, const QJsonValue& value);
// Back from that text ("" for an optional number: none).
QJsonValue FieldFromText(const RecordField& field, const QString& text);

} // namespace vlboot
