#include "CsvRecordFile.h"

#include "Platform.h"
#include "RecordFields.h"

#include <QDir>
#include <QFile>

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

namespace {

// The fields of the RFC 4180 text's records; a last record without its
// line end is left out (it may be being written).
QList<QStringList> csvRows(const QByteArray& text)
{
    QList<QStringList> rows;
    QStringList row;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (quoted) {
            if (c == '"' && text.mid(i + 1, 1) == "\"")
                field += text.at(++i);
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << QString::fromUtf8(field);
            field.clear();
        } else if (c == '\n') {
            row << QString::fromUtf8(field);
            rows << row;
            row.clear();
            field.clear();
        } else if (c != '\r') {
            field += c;
        }
    }
    return rows;
}

} // namespace

Result<QList<RunRecord>> CsvRecordFile::Read(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return QList<RunRecord>();
    if (const Outcome opened = platform::OpenRegularFile(file, path); !opened.ok())
        return Outcome::Failed(QStringLiteral("the records %1 %2").arg(path, opened.why()));
    const QList<QStringList> rows = csvRows(file.readAll());
    QList<RunRecord> records;
    if (rows.isEmpty() || rows.first() != HeaderFields())
        return records; // a file of other columns (an older vlboot's)
    const auto fields = RecordFields();
    for (const QStringList& row : rows.mid(1)) {
        if (row.size() != static_cast<qsizetype>(fields.size()))
            continue;
        RunRecord record;
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields[i].set(record, FieldFromText(fields[i], row.at(static_cast<qsizetype>(i))));
        records << record;
    }
    return records;
}

QStringList CsvRecordFile::HeaderFields()
{
    QStringList names;
    for (const RecordField& field : RecordFields())
        names << QLatin1String(field.name);
    return names;
}

QByteArray CsvRecordFile::HeaderLine()
{
    return HeaderFields().join(QLatin1Char(',')).toUtf8() + "\r\n";
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
