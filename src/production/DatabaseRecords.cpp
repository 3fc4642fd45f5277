#include "DatabaseRecords.h"

#include "Platform.h"
#include "ProductionDatabase.h"
#include "RunRecordJson.h"
#include "SettingsLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

namespace vlboot {

DatabaseRecords::DatabaseRecords(std::shared_ptr<ProductionDatabase> database, QString queueFile, QString station)
    : database_(std::move(database))
    , queueFile_(std::move(queueFile))
    , station_(std::move(station))
{
}

QString DatabaseRecords::QueueFileIn(const QString& configDir, const ProductionDatabase& database)
{
    const QByteArray id = QCryptographicHash::hash(database.Identity(), QCryptographicHash::Sha256).toHex().left(12);
    return QDir(configDir).filePath(QStringLiteral("database-queue-%1.jsonl").arg(QString::fromLatin1(id)));
}

Outcome DatabaseRecords::Append(const RunRecord& record)
{
    ProductionDatabase::Stored stored{QUuid::createUuid().toString(QUuid::WithoutBraces), record};
    if (stored.record.station.isEmpty())
        stored.record.station = station_;
    QJsonObject line = RunRecordToJson(stored.record);
    line.insert(QStringLiteral("record_id"), stored.id);

    // Held while the queue is read, written, sent and removed, so that a
    // record queued meanwhile by another program is neither lost nor sent
    // without being removed.
    const SettingsLock lock(queueFile_, SettingsLock::WriteTimeoutMs);
    // (A FIFO or folder in its place is refused, never opened: it could block.)
    const Result<QByteArray> old = platform::ReadWholeFile(queueFile_);
    const bool readable = old.ok();
    QByteArray content = readable ? old.value() : QByteArray();
    content += QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    // Replaced whole and synced (with its folder) before the record is
    // sent: a crash at any moment leaves it either queued or in the table.
    QSaveFile out(queueFile_);
    const bool queued = lock.IsLocked() && readable && out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        && out.write(content) == content.size() && out.commit()
        && platform::SyncFolder(QFileInfo(queueFile_).absolutePath());
    if (!queued) {
        // The record is sent alone; if that fails too, it is lost.
        const Outcome sent = database_->InsertRecords({stored});
        if (sent.ok())
            return sent;
        return Outcome::Failed(QStringLiteral("the production database did not get this run's record: its queue file %1 "
                                              "%2, and %3")
                                   .arg(queueFile_, readable ? QStringLiteral("cannot be written") : old.why(), sent.why()));
    }
    const Outcome sent = sendQueue();
    if (sent.ok())
        return sent;
    return Outcome::Ok().Note(QStringLiteral("the record waits in %1 and is sent to the production database with the next "
                                             "one that reaches it: %2")
                                  .arg(queueFile_, sent.why()));
}

Outcome DatabaseRecords::sendQueue()
{
    const Result<QByteArray> queued = platform::ReadWholeFile(queueFile_);
    if (!queued.ok())
        return Outcome::Failed(QStringLiteral("the queue file %1 %2").arg(queueFile_, queued.why()));
    QList<ProductionDatabase::Stored> records;
    for (const QByteArray& text : queued.value().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(text).object();
        const auto record = RunRecordFromJson(object);
        const QString id = object.value(QStringLiteral("record_id")).toString();
        // The file is only ever replaced whole: a line that cannot be read
        // was not written by this program, and is dropped.
        if (record && !QUuid::fromString(id).isNull())
            records.append({id, *record});
    }
    if (const Outcome inserted = database_->InsertRecords(records); !inserted.ok())
        return inserted;
    // Once sent, the queue goes; sent again after a crash before this, its
    // records are already in the table and added once only.
    QFile::remove(queueFile_);
    platform::SyncFolder(QFileInfo(queueFile_).absolutePath());
    return Outcome::Ok();
}

} // namespace vlboot
