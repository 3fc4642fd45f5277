#include "RecordStore.h"

#include "CsvRecordFile.h"
#include "DatabaseRecords.h"
#include "IniFileHandler.h"
#include "ProductionDatabase.h"
#include "ProductionSetup.h"
#include "Settings.h"

#include <QStringList>
#include <vector>

namespace vlboot {
namespace {

// Each record into every store, in order: kept when every store kept it.
class RecordStores final : public RecordStore {
public:
    explicit RecordStores(std::vector<std::unique_ptr<RecordStore>> stores) : stores_(std::move(stores)) {}
    bool Append(const RunRecord& record, QString& why) override
    {
        bool kept = true;
        QStringList notes;
        for (const auto& store : stores_) {
            QString note;
            kept = store->Append(record, note) && kept;
            if (!note.isEmpty())
                notes << note;
        }
        why = notes.join(QStringLiteral("; "));
        return kept;
    }

private:
    std::vector<std::unique_ptr<RecordStore>> stores_;
};

} // namespace

std::unique_ptr<RecordStore> OpenRecordStore(const QString& configDir, const QString& file, const QString& database)
{
    auto csv = std::make_unique<CsvRecordFile>(file.isEmpty() ? CsvRecordFile::DefaultPath(configDir) : file);
    if (database.trimmed().isEmpty())
        return csv;
    std::vector<std::unique_ptr<RecordStore>> stores;
    stores.push_back(std::move(csv));
    stores.push_back(std::make_unique<DatabaseRecords>(std::make_shared<ProductionDatabase>(database),
                                                       DatabaseRecords::QueueFileIn(configDir),
                                                       ReadProductionSetup(IniFileHandler(SettingsFilePath(configDir))).station));
    return std::make_unique<RecordStores>(std::move(stores));
}

} // namespace vlboot
