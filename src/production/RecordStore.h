#pragma once

#include "Outcome.h"
#include "RunRecord.h"

#include <QString>
#include <QDateTime>
#include <QList>
#include <memory>
#include <optional>

namespace vlboot {

// Where the record of a finished run goes: runs.csv (CsvRecordFile), and the
// production database (DatabaseRecords) when one is set. Append keeps the
// record durably before it returns; it fails, saying why (naming the store),
// when it cannot. A note says what there is to say of a record that was
// kept (one that waits to be sent to the production database). A record
// that cannot be kept never changes the outcome of the run it describes.
class RecordStore {
public:
    virtual ~RecordStore() = default;
    virtual Outcome Append(const RunRecord& record) = 0;
};

// Where the programs' runs are recorded: `file` when one is named (the
// command line's --record), else runs.csv in the settings folder `configDir`;
// with a production database (`database`, a connection string) its table of
// units too, with the station's name of setup.ini and the database's queue
// file in `configDir`.
std::unique_ptr<RecordStore> OpenRecordStore(const QString& configDir, const QString& file = {},
                                             const QString& database = {});
// The records of the store a station reads them from: the production
// database when one is set, else runs.csv (or `file`); those whose run
// ended at `since` or later and (when given) that gave out `serial`, oldest
// first.
Result<QList<RunRecord>> ReadRecords(const QString& configDir, const QString& file, const QString& database,
                                     const std::optional<QDateTime>& since, const std::optional<qint64>& serial);

// Appends `record` to the stores OpenRecordStore chooses.
Outcome KeepRecord(const QString& configDir, const QString& file, const QString& database, const RunRecord& record);

} // namespace vlboot
