// The production database's schema: made, and brought up to this
// program's version, one step at a time and one program at a time.
#include "ProductionDatabase.h"

#include <iterator>

namespace vlboot {
namespace {

// Taken by every program that creates or migrates the schema, so that
// stations starting at once do it one after the other.
constexpr const char* SchemaLock = "SELECT pg_advisory_xact_lock(7660422228)";

// The schema, one step per version: step i takes a database from version
// i to i + 1. A step is never changed once released; a change is a new step.
constexpr const char* Migrations[] = {
    // 1: the serial counter (one row; no next number until an administrator
    // sets one) and the record of every unit.
    "CREATE TABLE vlboot_serial_counter ("
    "  id boolean PRIMARY KEY DEFAULT true CHECK (id),"
    "  next_number bigint CHECK (next_number BETWEEN 0 AND 2147483648),"
    "  highest_given bigint);"
    "INSERT INTO vlboot_serial_counter (id) VALUES (true);"
    "CREATE TABLE vlboot_units ("
    "  record_id uuid PRIMARY KEY,"
    "  ended_at timestamptz NOT NULL,"
    "  utc_offset integer NOT NULL,"
    "  host text NOT NULL, station text NOT NULL, program text NOT NULL, version text NOT NULL,"
    "  com_port text NOT NULL, device_path text NOT NULL, baud integer NOT NULL, address text NOT NULL,"
    "  device_kind text NOT NULL, firmware_path text NOT NULL, firmware_size bigint, firmware_sha256 text NOT NULL,"
    "  serial_number bigint, caption text NOT NULL, failed_step text NOT NULL, reason text NOT NULL,"
    "  exchanges integer NOT NULL, seconds double precision NOT NULL,"
    "  inserted_at timestamptz NOT NULL DEFAULT now());"
    "CREATE INDEX vlboot_units_ended_at ON vlboot_units (ended_at);"
    "CREATE INDEX vlboot_units_serial_number ON vlboot_units (serial_number);",
    // 2: what is known of a fixture's serial-number write, how the run
    // ended, and its warnings (one per line).
    "ALTER TABLE vlboot_units ADD COLUMN serial_write text NOT NULL DEFAULT '',"
    "  ADD COLUMN outcome text NOT NULL DEFAULT '', ADD COLUMN warnings text NOT NULL DEFAULT '';",
};
static_assert(std::size(Migrations) == ProductionDatabase::SchemaVersion);

} // namespace

Result<int> ProductionDatabase::schemaVersion()
{
    Rows rows;
    if (const Outcome asked = exec("SELECT to_regclass('vlboot_schema') IS NOT NULL", {}, &rows); !asked.ok())
        return asked;
    if (rows.value(0).value(0) != QStringLiteral("t"))
        return 0;
    if (const Outcome asked = exec("SELECT coalesce(max(version), 0) FROM vlboot_schema", {}, &rows); !asked.ok())
        return asked;
    return rows.value(0).value(0).value_or(QString()).toInt();
}

Outcome ProductionDatabase::migrate()
{
    // A current schema is only read: a station's role needs no right to
    // create tables once the database's owner has made them.
    const Result<int> current = schemaVersion();
    if (!current.ok())
        return current.outcome();
    if (*current == SchemaVersion)
        return Outcome::Ok();
    int version = *current;
    if (version < SchemaVersion) {
        // Another program may be doing the same: one after the other, and
        // the version read again under the lock.
        if (const Outcome began = exec("BEGIN"); !began.ok())
            return began;
        const Outcome prepared = exec(SchemaLock);
        const Outcome table = prepared.ok() ? exec("CREATE TABLE IF NOT EXISTS vlboot_schema (version integer NOT NULL)") : prepared;
        const Result<int> locked = table.ok() ? schemaVersion() : Result<int>(table);
        if (!locked.ok()) {
            (void)exec("ROLLBACK");
            return locked.outcome();
        }
        version = *locked;
    }
    const Outcome done = migrateSteps(version);
    if (!done.ok())
        (void)exec("ROLLBACK");
    return done;
}

Outcome ProductionDatabase::migrateSteps(int version)
{
    if (version > SchemaVersion)
        return failed(QStringLiteral("this program cannot work with"),
                      QStringLiteral("its schema version %1 is newer than this program's (%2): update vlboot on this station")
                          .arg(version)
                          .arg(SchemaVersion));
    for (int step = version; step < SchemaVersion; ++step) {
        if (const Outcome stepped = exec(Migrations[step]); !stepped.ok())
            return stepped;
    }
    if (version < SchemaVersion) {
        if (const Outcome cleared = exec("DELETE FROM vlboot_schema"); !cleared.ok())
            return cleared;
        if (const Outcome stored = exec("INSERT INTO vlboot_schema (version) VALUES ($1)", {QByteArray::number(SchemaVersion)});
            !stored.ok())
            return stored;
    }
    return exec("COMMIT");
}

} // namespace vlboot
