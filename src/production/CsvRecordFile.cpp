#include "CsvRecordFile.h"

#include "Platform.h"
#include "RecordFields.h"

#include <QDir>

namespace vlboot {

QString CsvRecordFile::DefaultPath(const QString& configDir)
{
    return QDir(configDir).filePath(QStringLiteral("runs.csv"));
}

Outcome CsvRecordFile::Append(const RunRecord& record)
{
    const Outcome written = platform::AppendWhole(path_, HeaderLine(), Line(record));
    if (written.ok())
        return written;
    return Outcome::Failed(QStringLiteral("the record of this run cannot be kept: %1 %2").arg(path_, written.why()));
}

QByteArray CsvRecordFile::HeaderLine()
{
    QByteArray line;
    for (const RecordField& field : RecordFields())
        line += (line.isEmpty() ? "" : ",") + QByteArray(field.name);
    return line + "\r\n";
}

QByteArray CsvRecordFile::Field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const bool quoted = bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')
        || (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.back() == ' '));
    if (!quoted)
        return bytes;
    return '"' + bytes.replace("\"", "\"\"") + '"';
}

QByteArray CsvRecordFile::Line(const RunRecord& record)
{
    QByteArray line;
    bool first = true;
    for (const RecordField& field : RecordFields()) {
        line += (first ? "" : ",") + Field(FieldText(field, field.get(record)));
        first = false;
    }
    return line + "\r\n";
}

} // namespace vlboot
