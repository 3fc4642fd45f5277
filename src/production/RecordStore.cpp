#include "RecordStore.h"

#include "CsvRecordFile.h"

namespace vlboot {

std::unique_ptr<RecordStore> OpenRecordStore(const QString& configDir, const QString& file)
{
    return std::make_unique<CsvRecordFile>(file.isEmpty() ? CsvRecordFile::DefaultPath(configDir) : file);
}

} // namespace vlboot
