#include "ProductionDatabase.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <libpq-fe.h>

namespace vlboot {
namespace {

// The highest number a fixture holds (its record has four bytes; the
// counter keeps to the positive half, as the settings counter does).
constexpr qint64 HighestSerialNumber = 2147483647;

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
};
static_assert(std::size(Migrations) == ProductionDatabase::SchemaVersion);

constexpr const char* RecordColumns =
    "record_id, ended_at, utc_offset, host, station, program, version, com_port, device_path, baud, address, "
    "device_kind, firmware_path, firmware_size, firmware_sha256, serial_number, caption, failed_step, reason, "
    "exchanges, seconds";

// libpq's and the server's messages on one line: "FATAL:  password
// authentication failed ...\n" as "FATAL: password authentication failed ...".
QString oneLine(const char* text)
{
    QStringList parts;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        if (!line.simplified().isEmpty())
            parts << line.simplified();
    }
    return parts.join(QStringLiteral("; "));
}

// Every way the password may be written in `connection`, also when libpq
// cannot read the text: key=value (quoted or not), a URI's user:password@
// and ?password=, each as written and percent-decoded. When the text cannot
// be read, every word after "password" counts too (an unquoted password
// with a blank in it).
QStringList passwordsWritten(const QString& connection, bool parsed)
{
    static const QRegularExpression keyValue(QStringLiteral(R"((?:^|\s)password\s*=\s*('(?:[^'\\]|\\.)*'?|\S+))"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression query(QStringLiteral(R"([?&]password=([^&#\s]*))"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression userInfo(QStringLiteral(R"(^\s*postgres(?:ql)?://([^/?#]*)@)"),
                                             QRegularExpression::CaseInsensitiveOption);
    QStringList found;
    for (const QRegularExpression* pattern : {&keyValue, &query}) {
        for (auto it = pattern->globalMatch(connection); it.hasNext();) {
            const QString value = it.next().captured(1);
            found << value << QUrl::fromPercentEncoding(value.toUtf8());
            if (value.startsWith(QLatin1Char('\''))) {
                QString inner = value.mid(1);
                if (inner.endsWith(QLatin1Char('\'')))
                    inner.chop(1);
                found << inner << inner.replace(QStringLiteral("\\'"), QStringLiteral("'")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            }
        }
    }
    const QString user = userInfo.match(connection).captured(1);
    if (user.contains(QLatin1Char(':'))) {
        const QString password = user.mid(user.indexOf(QLatin1Char(':')) + 1);
        found << password << QUrl::fromPercentEncoding(password.toUtf8());
    }
    const qsizetype tail = connection.indexOf(QLatin1String("password"), 0, Qt::CaseInsensitive);
    if (!parsed && tail >= 0) {
        static const QRegularExpression separators(QStringLiteral(R"([\s='&]+)"));
        found << connection.mid(tail + 8).split(separators, Qt::SkipEmptyParts);
    }
    return found;
}

} // namespace

ProductionDatabase::ProductionDatabase(QString connection)
    : connection_(connection.toUtf8())
{
    // A bare word is a database name to libpq (and to psql).
    const bool bareName = !connection.contains(QLatin1Char('=')) && !connection.contains(QLatin1String("://"));
    const QByteArray parseable = bareName ? "dbname='" + QByteArray(connection_).replace("\\", "\\\\").replace("'", "\\'") + "'"
                                          : connection_;
    char* error = nullptr;
    QString dbname, host, port, user;
    if (PQconninfoOption* options = PQconninfoParse(parseable.constData(), &error)) {
        parsed_ = true;
        for (const PQconninfoOption* o = options; o->keyword; ++o) {
            if (!o->val)
                continue;
            const QString key = QString::fromUtf8(o->keyword);
            const QString value = QString::fromUtf8(o->val);
            if (key == QLatin1String("password"))
                secrets_ << value;
            else if (key == QLatin1String("dbname"))
                dbname = value;
            else if (key == QLatin1String("host") || (key == QLatin1String("hostaddr") && host.isEmpty()))
                host = value;
            else if (key == QLatin1String("port"))
                port = value;
            else if (key == QLatin1String("user"))
                user = value;
        }
        PQconninfoFree(options);
    } else {
        parseError_ = error ? oneLine(error) : QStringLiteral("out of memory");
    }
    if (error)
        PQfreemem(error);
    secrets_ << passwordsWritten(connection, parsed_);
    secrets_.removeAll(QString());
    secrets_.removeDuplicates();
    // The longest first, so that a password that holds another is masked whole.
    std::sort(secrets_.begin(), secrets_.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    parseError_ = Scrub(parseError_);

    QStringList parts;
    if (!dbname.isEmpty())
        parts << QStringLiteral("database %1").arg(dbname);
    if (!host.isEmpty())
        parts << QStringLiteral("on %1").arg(host);
    if (!port.isEmpty())
        parts << QStringLiteral("port %1").arg(port);
    if (!user.isEmpty())
        parts << QStringLiteral("as user %1").arg(user);
    description_ = Scrub(parts.join(QLatin1Char(' ')));
}

ProductionDatabase::~ProductionDatabase()
{
    if (conn_)
        PQfinish(conn_);
}

QString ProductionDatabase::Describe() const
{
    return description_;
}

QString ProductionDatabase::Scrub(const QString& text) const
{
    QString scrubbed = text;
    for (const QString& secret : secrets_)
        scrubbed.replace(secret, QStringLiteral("***"));
    return scrubbed;
}

QString ProductionDatabase::failure(const QString& what, const QString& detail) const
{
    const QString where = description_.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(description_);
    return Scrub(QStringLiteral("%1 the production database%2: %3").arg(what, where, detail));
}

bool ProductionDatabase::Open(QString& why)
{
    // A connection kept from an earlier run (the window's) may have been
    // cut meanwhile (a server restart): asked once, then made anew.
    QString lost;
    if (conn_ && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE && exec("SELECT 1", {}, lost))
        return true;
    return connect(why) && migrate(why);
}

bool ProductionDatabase::connect(QString& why)
{
    if (!parsed_) {
        why = QStringLiteral("the production database's connection string is not valid: %1").arg(parseError_);
        return false;
    }
    if (conn_)
        PQfinish(conn_);
    // The defaults come first, so that the connection string's own settings
    // win; "dbname" holding a whole connection string is expanded by libpq.
    // A server that is gone is found out in seconds, not minutes: at the
    // connect, and (over TCP) when data stay unacknowledged.
    const char* const keywords[] = {"connect_timeout", "application_name", "client_encoding", "keepalives_idle",
                                    "keepalives_interval", "keepalives_count", "tcp_user_timeout", "dbname", nullptr};
    const char* const values[] = {"10", "vlboot", "UTF8", "10", "5", "3", "20000", connection_.constData(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        why = failure(QStringLiteral("cannot connect to"), conn_ ? oneLine(PQerrorMessage(conn_)) : QStringLiteral("out of memory"));
        if (conn_)
            PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    // The server's notices ("relation ... already exists, skipping") are
    // not for the people at the station.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    // No statement waits longer than a settings write does for its lock.
    return exec("SET statement_timeout = '20s'", {}, why);
}

bool ProductionDatabase::schemaVersion(int& version, QString& why)
{
    QList<QList<std::optional<QString>>> rows;
    if (!exec("SELECT to_regclass('vlboot_schema') IS NOT NULL", {}, why, &rows))
        return false;
    version = 0;
    if (rows.value(0).value(0) != QStringLiteral("t"))
        return true;
    if (!exec("SELECT coalesce(max(version), 0) FROM vlboot_schema", {}, why, &rows))
        return false;
    version = rows.value(0).value(0).value_or(QString()).toInt();
    return true;
}

bool ProductionDatabase::migrate(QString& why)
{
    // A current schema is only read: a station's role needs no right to
    // create tables once the database's owner has made them.
    int version = 0;
    if (!schemaVersion(version, why))
        return false;
    if (version == SchemaVersion)
        return true;
    QString ignored;
    if (version < SchemaVersion) {
        // Another program may be doing the same: one after the other, and
        // each reads the version again once it has the lock.
        if (!exec("BEGIN", {}, why) || !exec(SchemaLock, {}, why)
            || !exec("CREATE TABLE IF NOT EXISTS vlboot_schema (version integer NOT NULL)", {}, why)
            || !schemaVersion(version, why)) {
            exec("ROLLBACK", {}, ignored);
            return false;
        }
    }
    if (version > SchemaVersion) {
        exec("ROLLBACK", {}, ignored);
        why = failure(QStringLiteral("this program cannot work with"),
                      QStringLiteral("its schema version %1 is newer than this program's (%2): update vlboot on this station")
                          .arg(version)
                          .arg(SchemaVersion));
        return false;
    }
    bool ok = true;
    for (int step = version; ok && step < SchemaVersion; ++step)
        ok = exec(Migrations[step], {}, why);
    if (ok && version < SchemaVersion)
        ok = exec("DELETE FROM vlboot_schema", {}, why)
            && exec("INSERT INTO vlboot_schema (version) VALUES ($1)", {QByteArray::number(SchemaVersion)}, why);
    if (ok && exec("COMMIT", {}, why))
        return true;
    exec("ROLLBACK", {}, ignored);
    return false;
}

bool ProductionDatabase::exec(const char* sql, const QList<std::optional<QByteArray>>& params, QString& why,
                              QList<QList<std::optional<QString>>>* rows)
{
    if (!conn_) {
        why = failure(QStringLiteral("no connection to"), QStringLiteral("it could not be reached"));
        return false;
    }
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->constData() : nullptr);
    PGresult* result = params.isEmpty() ? PQexec(conn_, sql)
                                        : PQexecParams(conn_, sql, static_cast<int>(values.size()), nullptr,
                                                       values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
        const QString detail = oneLine(result ? PQresultErrorMessage(result) : PQerrorMessage(conn_));
        why = PQstatus(conn_) == CONNECTION_OK ? failure(QStringLiteral("a request was refused by"), detail)
                                               : failure(QStringLiteral("the connection was lost to"), detail);
    } else if (rows) {
        rows->clear();
        for (int r = 0; r < PQntuples(result); ++r) {
            QList<std::optional<QString>> row;
            for (int c = 0; c < PQnfields(result); ++c)
                row << (PQgetisnull(result, r, c) ? std::nullopt : std::optional(QString::fromUtf8(PQgetvalue(result, r, c))));
            *rows << row;
        }
    }
    PQclear(result);
    return ok;
}

bool ProductionDatabase::CounterSet(QString& why)
{
    QList<QList<std::optional<QString>>> rows;
    if (!exec("SELECT next_number FROM vlboot_serial_counter", {}, why, &rows))
        return false;
    const std::optional<QString> next = rows.value(0).value(0);
    if (!next) {
        why = failure(QStringLiteral("no serial number can be given out by"),
                      QStringLiteral("its serial counter has not been set: set the first number of the batch with "
                                     "vlboot-cli --set-next-serial N"));
        return false;
    }
    if (next->toLongLong() > HighestSerialNumber) {
        why = failure(QStringLiteral("no serial number can be given out by"),
                      QStringLiteral("its serial counter has given out %1, the highest number a fixture holds").arg(HighestSerialNumber));
        return false;
    }
    return true;
}

std::optional<std::int32_t> ProductionDatabase::TakeSerialNumber(QString& why)
{
    // One statement, so one transaction: committed when the reply comes.
    // The row lock makes takers from every station wait for each other.
    QList<QList<std::optional<QString>>> rows;
    if (!exec("UPDATE vlboot_serial_counter SET next_number = next_number + 1, highest_given = next_number "
              "WHERE next_number <= $1 RETURNING next_number - 1",
              {QByteArray::number(HighestSerialNumber)}, why, &rows))
        return std::nullopt;
    if (rows.isEmpty()) {
        CounterSet(why);
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rows.constFirst().constFirst().value_or(QString()).toLongLong());
}

bool ProductionDatabase::SetNextSerialNumber(std::int32_t next, QString& why)
{
    if (next < 0) {
        why = QStringLiteral("the next serial number must be 0 to %1").arg(HighestSerialNumber);
        return false;
    }
    QList<QList<std::optional<QString>>> rows;
    // The check and the change are one statement: no number can be taken
    // between them.
    if (!Open(why)
        || !exec("UPDATE vlboot_serial_counter SET next_number = $1 WHERE highest_given IS NULL OR $1::bigint > highest_given "
                 "RETURNING next_number",
                 {QByteArray::number(next)}, why, &rows))
        return false;
    if (!rows.isEmpty())
        return true;
    if (!exec("SELECT highest_given FROM vlboot_serial_counter", {}, why, &rows))
        return false;
    why = QStringLiteral("refused: %1 is not above %2, the highest serial number given out so far (a lower next number "
                         "would give numbers out twice)")
              .arg(next)
              .arg(rows.value(0).value(0).value_or(QString()));
    return false;
}

bool ProductionDatabase::InsertRecords(const QList<Stored>& records, QString& why)
{
    if (!Open(why) || !exec("BEGIN", {}, why))
        return false;
    const QByteArray insert = QByteArrayLiteral("INSERT INTO vlboot_units (") + RecordColumns
        + ") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, $21) "
          "ON CONFLICT (record_id) DO NOTHING";
    for (const Stored& s : records) {
        const RunRecord& r = s.record;
        const int offset = r.time.offsetFromUtc();
        const auto text = [](const QString& t) { return std::optional(t.toUtf8()); };
        const QList<std::optional<QByteArray>> params{
            text(s.id),
            text(r.time.toOffsetFromUtc(offset).toString(Qt::ISODateWithMs)),
            QByteArray::number(offset),
            text(r.host), text(r.station), text(r.program), text(r.version), text(r.comPort), text(r.devicePath),
            QByteArray::number(r.baud), text(r.address), text(r.deviceKind), text(r.firmwarePath),
            r.firmwareSize < 0 ? std::nullopt : std::optional(QByteArray::number(r.firmwareSize)),
            r.firmwareSha256,
            r.serialNumber ? std::optional(QByteArray::number(*r.serialNumber)) : std::nullopt,
            text(r.caption), text(r.failedStep), text(r.reason),
            QByteArray::number(r.exchanges), QByteArray::number(r.seconds, 'f', 3)};
        if (!exec(insert.constData(), params, why)) {
            QString ignored;
            exec("ROLLBACK", {}, ignored);
            return false;
        }
    }
    return exec("COMMIT", {}, why);
}

std::optional<QList<ProductionDatabase::Stored>> ProductionDatabase::Records(const std::optional<QDateTime>& since,
                                                                             const std::optional<qint64>& serial, QString& why)
{
    const QByteArray select = QByteArrayLiteral("SELECT ") + QByteArray(RecordColumns).replace("ended_at", "extract(epoch from ended_at)")
        + " FROM vlboot_units WHERE ($1::timestamptz IS NULL OR ended_at >= $1) AND ($2::bigint IS NULL OR serial_number = $2) "
          "ORDER BY ended_at, inserted_at";
    const std::optional<QByteArray> from = since ? std::optional(since->toOffsetFromUtc(since->offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8())
                                                 : std::nullopt;
    QList<QList<std::optional<QString>>> rows;
    if (!Open(why) || !exec(select.constData(), {from, serial ? std::optional(QByteArray::number(*serial)) : std::nullopt}, why, &rows))
        return std::nullopt;
    QList<Stored> records;
    for (const auto& row : rows) {
        const auto at = [&row](int column) { return row.value(column).value_or(QString()); };
        Stored s;
        s.id = at(0);
        RunRecord& r = s.record;
        const int offset = at(2).toInt();
        r.time = QDateTime::fromMSecsSinceEpoch(qRound64(at(1).toDouble() * 1000), Qt::OffsetFromUTC, offset);
        r.host = at(3);
        r.station = at(4);
        r.program = at(5);
        r.version = at(6);
        r.comPort = at(7);
        r.devicePath = at(8);
        r.baud = at(9).toInt();
        r.address = at(10);
        r.deviceKind = at(11);
        r.firmwarePath = at(12);
        r.firmwareSize = row.value(13) ? at(13).toLongLong() : -1;
        r.firmwareSha256 = at(14).toUtf8();
        if (row.value(15))
            r.serialNumber = at(15).toLongLong();
        r.caption = at(16);
        r.failedStep = at(17);
        r.reason = at(18);
        r.exchanges = at(19).toInt();
        r.seconds = at(20).toDouble();
        records << s;
    }
    return records;
}

} // namespace vlboot
