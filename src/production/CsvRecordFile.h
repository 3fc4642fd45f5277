#pragma once

#include "RecordStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vlboot {

// runs.csv: one line per run, in UTF-8 with CR LF line ends and RFC 4180
// quoting, a header line of the field names (RecordFields.h) first. A file
// whose header is another (an older vlboot's columns) is set aside and a
// new one begun (see platform::AppendWhole). Each record is appended whole in a single
// write under the file's lock and synced before Append returns (see
// platform::AppendWhole), so runs appending at the same time never
// interleave and a kill or a power cut leaves only whole lines.
class CsvRecordFile final : public RecordStore {
public:
    explicit CsvRecordFile(QString path) : path_(std::move(path)) {}

    // runs.csv in the settings folder.
    static QString DefaultPath(const QString& configDir);

    Outcome Append(const RunRecord& record) override;
    const QString& Path() const { return path_; }

    // The records of the file, oldest first (a line of other columns or a
    // cut last line is left out). Failed when the file cannot be read; no
    // file is no records.
    static Result<QList<RunRecord>> Read(const QString& path);

    // The header line and the line of one record, each with its CR LF.
    static QByteArray HeaderLine();
    static QStringList HeaderFields();
    static QByteArray Line(const RunRecord& record);
    // A field as RFC 4180 has it: in double quotes, its quotes doubled, when
    // it holds a comma, a quote, a line end or a blank at either end.
    static QByteArray Field(const QString& text);

private:
    QString path_;
};

} // namespace vlboot
