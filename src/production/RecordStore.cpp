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
    Outcome Append(const RunRecord& record) override
    {
        QStringList failures;
        QStringList notes;
        for (const auto& store : stores_) {
            const Outcome kept = store->Append(record);
            if (!kept.ok())
                failures << kept.why();
            notes << kept.notes();
        }
        Outcome all = failures.isEmpty() ? Outcome::Ok() : Outcome::Failed(failures.join(QStringLiteral("; ")));
        for (const QString& note : notes)
            all.Note(note);
        return all;
    }

private:
    std::vector<std::unique_ptr<RecordStore>> stores_;
};

#if !defined(VLBOOT_HAVE_DATABASE)
// The production database of a build without it: the record stays in
// runs.csv alone, and the note says why.
class NoDatabaseRecords final : public RecordStore {
public:
    Outcome Append(const RunRecord&) override
    {
        return Outcome::Ok().Note(QStringLiteral("the record was not sent to the production database: ") + NoDatabaseText);
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
    auto db = std::make_shared<ProductionDatabase>(database);
    const QString queue = DatabaseRecords::QueueFileIn(configDir, *db);
    stores.push_back(std::make_unique<DatabaseRecords>(std::move(db), queue,
                                                       ReadProductionSetup(IniFileHandler(SettingsFilePath(configDir))).station));
#else
    stores.push_back(std::make_unique<NoDatabaseRecords>());
#endif
    return std::make_unique<RecordStores>(std::move(stores));
}

Result<QList<RunRecord>> ReadRecords(const QString& configDir, const QString& file, const QString& database,
                                     const std::optional<QDateTime>& since, const std::optional<qint64>& serial)
{
    if (!database.trimmed().isEmpty()) {
#if defined(VLBOOT_HAVE_DATABASE)
        const auto rows = ProductionDatabase(database).Records(since, serial);
        if (!rows)
            return rows.outcome();
        QList<RunRecord> records;
        for (const ProductionDatabase::Stored& s : *rows)
            records << s.record;
        return records;
#else
        return Outcome::Failed(NoDatabaseText);
#endif
    }
    const auto all = CsvRecordFile::Read(file.isEmpty() ? CsvRecordFile::DefaultPath(configDir) : file);
    if (!all)
        return all;
    QList<RunRecord> records;
    for (const RunRecord& r : *all) {
        if ((!since || r.time >= *since) && (!serial || r.serialNumber == serial))
            records << r;
    }
    return records;
}

Outcome KeepRecord(const QString& configDir, const QString& file, const QString& database, const RunRecord& record)
{
    return OpenRecordStore(configDir, file, database)->Append(record);
}

} // namespace vlboot
