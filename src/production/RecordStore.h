#pragma once

#include "RunRecord.h"

#include <QString>
#include <memory>

namespace vlboot {

// Where the record of a finished run goes: runs.csv (CsvRecordFile), or the
// production database. Append keeps the record durably before it returns
// true, and false, with `why` (naming the store), when it cannot. A record
// that cannot be kept never changes the outcome of the run it describes.
class RecordStore {
public:
    virtual ~RecordStore() = default;
    virtual bool Append(const RunRecord& record, QString& why) = 0;
};

// Where the programs' runs are recorded: `file` when one is named (the
// command line's --record), else runs.csv in the settings folder `configDir`.
std::unique_ptr<RecordStore> OpenRecordStore(const QString& configDir, const QString& file = {});

} // namespace vlboot
