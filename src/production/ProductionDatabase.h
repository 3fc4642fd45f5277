#pragma once

#include "RunRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct pg_conn;

namespace vlboot {

// The production database: one PostgreSQL server that every station of a
// line shares, for the fixtures' serial counter and the record of every
// unit. Made from a libpq connection string (key=value words or a
// postgresql:// URI); talks to the server through libpq, blocking, each
// call bounded by a time-out (connecting 10 s, a statement 20 s, unless
// the connection string says otherwise).
//
// The password of the connection string never leaves this class: every
// text it gives (`why`, Describe) has it masked, also in what the server
// and libpq say. A failure is a false or an empty result with `why`, never
// an exception.
class ProductionDatabase {
public:
    explicit ProductionDatabase(QString connection);
    ~ProductionDatabase();
    ProductionDatabase(const ProductionDatabase&) = delete;
    ProductionDatabase& operator=(const ProductionDatabase&) = delete;

    // Connects, unless a connection that still answers is open, and creates
    // or migrates the schema to SchemaVersion (several programs doing so at
    // once wait for each other). False with `why` when the server cannot be
    // reached, refuses the login, or holds a newer schema.
    bool Open(QString& why);

    // Takes the next serial number from the counter, in a transaction of
    // its own that is committed before this returns: a crash after it
    // leaves a gap, never a duplicate. Needs Open; does not connect again
    // (a connection lost during a run fails the run). Nothing when the
    // counter was never set, has run past the highest number a fixture
    // holds (2147483647), or the server cannot be asked.
    std::optional<std::int32_t> TakeSerialNumber(QString& why);
    // Whether the counter has a next number to give out (the check a
    // fixture run makes before boot mode).
    bool CounterSet(QString& why);
    // Sets the number the counter gives out next: 0..2147483647 and above
    // the highest number given out so far (atomically with the numbers
    // being taken). Connects as Open does.
    bool SetNextSerialNumber(std::int32_t next, QString& why);

    // Inserts the records in one transaction. Each carries the identity it
    // was given when it was first stored (`id`, a UUID text): a record that
    // is already in the table is skipped, so a record sent twice (a queue
    // sent again after a crash) is kept once. Connects as Open does.
    struct Stored {
        QString id;
        RunRecord record;
    };
    bool InsertRecords(const QList<Stored>& records, QString& why);

    // The records whose run ended at `since` or later and (when given) that
    // gave out `serial`, oldest first. Connects as Open does.
    std::optional<QList<Stored>> Records(const std::optional<QDateTime>& since, const std::optional<qint64>& serial,
                                         QString& why);

    // Which server and database, for messages: "database D on H port P as
    // user U", from the connection string, without its password.
    QString Describe() const;
    // `text` with the connection string's password masked.
    QString Scrub(const QString& text) const;

    // The schema this program makes and works with (the table
    // vlboot_schema holds the database's).
    static constexpr int SchemaVersion = 1;

private:
    bool connect(QString& why);
    bool migrate(QString& why);
    // The version in vlboot_schema; 0 when there is no such table.
    bool schemaVersion(int& version, QString& why);
    bool exec(const char* sql, const QList<std::optional<QByteArray>>& params, QString& why,
              QList<QList<std::optional<QString>>>* rows = nullptr);
    QString failure(const QString& what, const QString& detail) const;

    QByteArray connection_;
    QStringList secrets_;  // the password as written and as libpq reads it
    QString description_;
    bool parsed_ = false;  // the connection string is one libpq understands
    QString parseError_;
    pg_conn* conn_ = nullptr;
};

} // namespace vlboot
