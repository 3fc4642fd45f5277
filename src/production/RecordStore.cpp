#include "RecordStore.h"

#include "CsvRecordFile.h"
#include "IniFileHandler.h"
#include "ProductionSetup.h"
#include "Settings.h"
#if defined(VLBOOT_HAVE_DATABASE)
#include "DatabaseRecords.h"
#include "ProductionDatabase.h"
#endif

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

#if !defined(VLBOOT_HAVE_DATABASE)
// The production database of a build without it: the record stays in
// runs.csv alone, and the note says why.
class NoDatabaseRecords final : public RecordStore {
public:
    bool Append(const RunRecord&, QString& why) override
    {
        why = QStringLiteral("the record was not sent to the production database: ") + NoDatabaseText;
        return true;
    }
};
#endif

} // namespace

std::unique_ptr<RecordStore> OpenRecordStore(const QString& configDir, const QString& file, const QString& database)
{
    auto csv = std::make_unique<CsvRecordFile>(file.isEmpty() ? CsvRecordFile::DefaultPath(configDir) : file);
    if (database.trimmed().isEmpty())
        return csv;
    std::vector<std::unique_ptr<RecordStore>> stores;
    stores.push_back(std::move(csv));
#if defined(VLBOOT_HAVE_DATABASE)
    stores.push_back(std::make_unique<DatabaseRecords>(std::make_shared<ProductionDatabase>(database),
                                                       DatabaseRecords::QueueFileIn(configDir),
                                                       ReadProductionSetup(IniFileHandler(SettingsFilePath(configDir))).station));
#else
    stores.push_back(std::make_unique<NoDatabaseRecords>());
#endif
    return std::make_unique<RecordStores>(std::move(stores));
}

} // namespace vlboot
