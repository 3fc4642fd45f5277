#pragma once

#include "Outcome.h"
#include "RunRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct pg_conn;

namespace vlboot {

// The production database: one PostgreSQL server that every station of a
// line shares, for the fixtures' serial counter and the record of every
// unit. Made from a libpq connection string (key=value words or a
// postgresql:// URI); talks to the server through libpq's non-blocking
// calls, each bounded by a deadline this program keeps (connecting 10 s, a
// statement 20 s, also when the server stops answering altogether) and
// ended early by a stop signal.
//
// The password of the connection string never leaves this class: every
// text it gives (failures, Describe) has it masked, also in what the
// server and libpq say.
//
// ProductionDatabase.cpp: the connection and the schema; DatabaseCounter.cpp:
// the serial counter; DatabaseRecordRows.cpp: the units' records.
class ProductionDatabase {
public:
    explicit ProductionDatabase(QString connection);
    ~ProductionDatabase();
    ProductionDatabase(const ProductionDatabase&) = delete;
    ProductionDatabase& operator=(const ProductionDatabase&) = delete;

    // Connects, unless a connection that still answers is open, and creates
    // or migrates the schema to SchemaVersion (several programs doing so at
    // once wait for each other). Fails when the server cannot be reached,
    // refuses the login, or holds a newer schema.
    Outcome Open();

    // Takes the next serial number from the counter, in a transaction of
    // its own that is committed before this returns: a crash after it
    // leaves a gap, never a duplicate. Needs Open; does not connect again
    // (a connection lost during a run fails the run). Fails when the
    // counter was never set, has run past the highest number a fixture
    // holds (2147483647), or the server cannot be asked.
    Result<std::int32_t> TakeSerialNumber();
    // Whether the counter has a next number to give out (the check a
    // fixture run makes before boot mode).
    Outcome CounterSet();
    // Sets the number the counter gives out next: 0..2147483647 and above
    // the highest number given out so far (atomically with the numbers
    // being taken). Connects as Open does.
    Outcome SetNextSerialNumber(std::int32_t next);

    // Inserts the records in one transaction. Each carries the identity it
    // was given when it was first stored (`id`, a UUID text): a record that
    // is already in the table is skipped, so a record sent twice (a queue
    // sent again after a crash) is kept once. Connects as Open does.
    struct Stored {
        QString id;
        RunRecord record;
    };
    Outcome InsertRecords(const QList<Stored>& records);

    // The records whose run ended at `since` or later and (when given) that
    // gave out `serial`, oldest first. Connects as Open does.
    Result<QList<Stored>> Records(const std::optional<QDateTime>& since, const std::optional<qint64>& serial);

    // Which server and database, for messages: "database D on H port P as
    // user U", from the connection string, without its password.
    QString Describe() const;
    // Which database the connection string reaches (its database, server,
    // port, user and service, with libpq's defaults), never the password:
    // the same for key=value words and a URI, in any order, whatever the
    // password. Empty when libpq cannot read the string.
    QByteArray Identity() const { return identity_; }
    // Whether the last call failed because of a stop signal (a wait it
    // ended, or cut short).
    bool StoppedWaiting() const { return stoppedWaiting_; }
    // `text` with the connection string's password masked.
    QString Scrub(const QString& text) const;

    // The schema this program makes and works with (the table
    // vlboot_schema holds the database's).
    static constexpr int SchemaVersion = 2;
    // The highest number a fixture holds (its record has four bytes; the
    // counter keeps to the positive half, as the settings counter does).
    static constexpr qint64 HighestSerialNumber = 2147483647;
    // The client's deadlines. A stop signal ends a wait under way at once;
    // the waits after it (a stopped run's record) end within StopGraceMs
    // of it.
    static constexpr int ConnectSeconds = 10;
    static constexpr int StatementSeconds = 20;
    static constexpr int StopGraceMs = 1000;

private:
    using Params = QList<std::optional<QByteArray>>;
    using Rows = QList<QList<std::optional<QString>>>;

    Outcome connect();
    Outcome migrate();
    Outcome migrateSteps(int version);
    // The version in vlboot_schema; 0 when there is no such table.
    Result<int> schemaVersion();
    Outcome exec(const char* sql, const Params& params = {}, Rows* rows = nullptr);
    // A wait for the server: what it is for ("connecting", "a request"),
    // until when, and whether a stop signal ends it.
    struct Wait {
        QString what;
        qint64 seconds;
        qint64 deadlineMs;
        bool endsOnStop;
    };
    Wait beginWait(const QString& what, qint64 seconds);
    // Waits for the socket (`events` of poll) within `wait`; fails at its
    // deadline or on a stop signal.
    Outcome awaitSocket(short events, const Wait& wait);
    // Gives up the connection after a wait that failed: a cancel request is
    // sent on the way out, without waiting for a server that may not answer.
    void abandon();
    Outcome failed(const QString& what, const QString& detail) const;

    QByteArray connection_;
    QRegularExpression secretPattern_; // the password as written and as libpq reads it
    QString description_;
    QByteArray identity_;
    bool stoppedWaiting_ = false;
    bool parsed_ = false;  // the connection string is one libpq understands
    QString parseError_;
    pg_conn* conn_ = nullptr;
};

} // namespace vlboot
