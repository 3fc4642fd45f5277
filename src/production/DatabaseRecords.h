#pragma once

#include "RecordStore.h"

#include <QString>
#include <memory>

namespace vlboot {

class ProductionDatabase;

// Where a unit's record goes when a production database is in use: its
// table of units, through a local queue file of that database that keeps
// every record until the database has it. Append first stores the record in the queue
// (synced, the whole file replaced, under its lock file), then sends the
// whole queue in one transaction and removes the file. A record that cannot
// be sent waits there and goes with the next record whose sending succeeds,
// from this program or another one working from the same folder. Each
// record gets its identity when it is queued and the table keeps one row
// per identity: a queue sent again after a crash adds nothing twice.
class DatabaseRecords final : public RecordStore {
public:
    // Records without a station's name get `station`.
    DatabaseRecords(std::shared_ptr<ProductionDatabase> database, QString queueFile, QString station);

    // Kept when the record is in the database or waits safely in the queue
    // (a note then says why it waits). Failed when it could neither be
    // queued nor sent (the record is lost).
    Outcome Append(const RunRecord& record) override;

    // The queue file in a settings folder of the database `database`: one
    // per database (its Identity: server, port, name and user, never the
    // password), so that a queued record goes only to the database it was
    // meant for.
    static QString QueueFileIn(const QString& configDir, const ProductionDatabase& database);

private:
    Outcome sendQueue();

    std::shared_ptr<ProductionDatabase> database_;
    QString queueFile_;
    QString station_;
};

} // namespace vlboot
