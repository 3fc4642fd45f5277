#include "ProductionDatabase.h"

#include "Platform.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <libpq-fe.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <thread>

namespace vlboot {
namespace {

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

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
    static const QRegularExpression key(QStringLiteral(R"((?:^|\s)password(?=\s|=|$))"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch tail = key.match(connection);
    if (!parsed && tail.hasMatch()) {
        // The words of the value, up to the next key=value word (whose key,
        // like libpq's own words about it, is no secret).
        static const QRegularExpression blanks(QStringLiteral(R"(\s+)"));
        QString rest = connection.mid(tail.capturedEnd()).trimmed();
        if (rest.startsWith(QLatin1Char('=')))
            rest = rest.mid(1).trimmed();
        const QStringList words = rest.split(blanks, Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < words.size() && (i == 0 || !words.at(i).contains(QLatin1Char('='))); ++i) {
            QString word = words.at(i);
            found << word << word.remove(QLatin1Char('\'')).remove(QLatin1Char('&'));
        }
    }
    return found;
}

// Which database a connection string reaches, from what libpq read in it:
// database, server (name and address), port, user and service, a missing
// one as libpq fills it in (PGHOST and its other variables, its built-in
// port and the login's name; the database defaults to the user). Never the
// password. Joined with NUL bytes, which no value can hold.
QByteArray identityOf(QStringList values)
{
    static const char* const keys[] = {"dbname", "host", "hostaddr", "port", "user", "service"};
    if (PQconninfoOption* defaults = PQconndefaults()) {
        for (const PQconninfoOption* o = defaults; o->keyword; ++o) {
            for (qsizetype i = 0; i < values.size(); ++i)
                if (values[i].isEmpty() && o->val && qstrcmp(o->keyword, keys[i]) == 0)
                    values[i] = QString::fromUtf8(o->val);
        }
        PQconninfoFree(defaults);
    }
    if (values[0].isEmpty())
        values[0] = values[4];
    return values.join(QChar(0)).toUtf8();
}

// The moments at which a database (by its identity) last left a wait of
// this program unanswered: connecting to it again at once would only add
// another wait (a run's record after its serial number was not given).
std::mutex unansweredLock;
std::map<QByteArray, qint64> unansweredAt;
// When this program first saw a stop signal in a wait (0: not yet).
qint64 stopSeenAt = 0;

} // namespace

ProductionDatabase::ProductionDatabase(QString connection)
    : connection_(connection.toUtf8())
{
    // A bare word is a database name to libpq (and to psql).
    const bool bareName = !connection.contains(QLatin1Char('=')) && !connection.contains(QLatin1String("://"));
    const QByteArray parseable = bareName ? "dbname='" + QByteArray(connection_).replace("\\", "\\\\").replace("'", "\\'") + "'"
                                          : connection_;
    char* error = nullptr;
    QStringList secrets; // the password as libpq reads it, and as written
    QString dbname, host, hostaddr, port, user, service;
    if (PQconninfoOption* options = PQconninfoParse(parseable.constData(), &error)) {
        parsed_ = true;
        const std::pair<const char*, QString*> wanted[] = {
            {"dbname", &dbname}, {"host", &host}, {"hostaddr", &hostaddr}, {"port", &port}, {"user", &user}, {"service", &service}};
        for (const PQconninfoOption* o = options; o->keyword; ++o) {
            if (!o->val)
                continue;
            const QString value = QString::fromUtf8(o->val);
            if (qstrcmp(o->keyword, "password") == 0)
                secrets << value;
            for (const auto& [key, field] : wanted)
                if (qstrcmp(o->keyword, key) == 0)
                    *field = value;
        }
        PQconninfoFree(options);
        identity_ = identityOf({dbname, host, hostaddr, port, user, service});
    } else {
        parseError_ = error ? oneLine(error) : QStringLiteral("out of memory");
    }
    if (error)
        PQfreemem(error);
    secrets << passwordsWritten(connection, parsed_);
    secrets.removeAll(QString());
    secrets.removeDuplicates();
    // The longest first, so that a password that holds another is masked
    // whole; only where it stands apart from letters and digits, so that a
    // short password leaves libpq's words whole ("invalid connection
    // option"), while quoted, in a URI or after "=" it is always masked.
    std::sort(secrets.begin(), secrets.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    QStringList alternatives;
    for (const QString& secret : secrets)
        alternatives << QRegularExpression::escape(secret);
    if (!alternatives.isEmpty())
        secretPattern_ = QRegularExpression(QStringLiteral("(?<![\\p{L}\\p{N}])(?:%1)(?![\\p{L}\\p{N}])").arg(alternatives.join(QLatin1Char('|'))));
    parseError_ = Scrub(parseError_);

    // Only the values are masked: the words around them are this program's.
    QStringList parts;
    if (!dbname.isEmpty())
        parts << QStringLiteral("database %1").arg(Scrub(dbname));
    if (!host.isEmpty() || !hostaddr.isEmpty())
        parts << QStringLiteral("on %1").arg(Scrub(host.isEmpty() ? hostaddr : host));
    if (!port.isEmpty())
        parts << QStringLiteral("port %1").arg(Scrub(port));
    if (!user.isEmpty())
        parts << QStringLiteral("as user %1").arg(Scrub(user));
    description_ = parts.join(QLatin1Char(' '));
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
    if (secretPattern_.isValid() && !secretPattern_.pattern().isEmpty())
        scrubbed.replace(secretPattern_, QStringLiteral("***"));
    return scrubbed;
}

Outcome ProductionDatabase::failed(const QString& what, const QString& detail) const
{
    const QString where = description_.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(description_);
    return Outcome::Failed(QStringLiteral("%1 the production database%2: %3").arg(what, where, Scrub(detail)));
}

Outcome ProductionDatabase::Open()
{
    // A connection kept from an earlier run (the window's) may have been
    // cut meanwhile (a server restart): asked once, then made anew.
    if (conn_ && PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE && exec("SELECT 1").ok())
        return Outcome::Ok();
    if (const Outcome connected = connect(); !connected.ok())
        return connected;
    return migrate();
}

Outcome ProductionDatabase::connect()
{
    if (!parsed_)
        return Outcome::Failed(QStringLiteral("the production database's connection string is not valid: %1").arg(parseError_));
    if (conn_)
        PQfinish(conn_);
    conn_ = nullptr;
    stoppedWaiting_ = false;
    {
        const std::lock_guard<std::mutex> hold(unansweredLock);
        const auto last = unansweredAt.find(identity_);
        if (last != unansweredAt.end() && nowMs() - last->second < ConnectSeconds * 1000)
            return failed(QStringLiteral("no answer came in time from"),
                          QStringLiteral("it did not answer %1 s ago, and is not asked again within %2 s")
                              .arg((nowMs() - last->second) / 1000)
                              .arg(ConnectSeconds));
    }
    const Wait wait = beginWait(QStringLiteral("connecting"), ConnectSeconds);
    // The defaults come first, so that the connection string's own settings
    // win; "dbname" holding a whole connection string is expanded by libpq.
    // Over TCP a server that is gone is found out in seconds, not minutes.
    const char* const keywords[] = {"application_name", "client_encoding", "keepalives_idle", "keepalives_interval",
                                    "keepalives_count", "tcp_user_timeout", "dbname", nullptr};
    const char* const values[] = {"vlboot", "UTF8", "10", "5", "3", "20000", connection_.constData(), nullptr};
    conn_ = PQconnectStartParams(keywords, values, 1);
    if (!conn_)
        return failed(QStringLiteral("cannot connect to"), QStringLiteral("out of memory"));
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED || PQstatus(conn_) == CONNECTION_BAD) {
            const Outcome refused = failed(QStringLiteral("cannot connect to"), oneLine(PQerrorMessage(conn_)));
            PQfinish(conn_);
            conn_ = nullptr;
            return refused;
        }
        if (const Outcome waited = awaitSocket(state == PGRES_POLLING_WRITING ? POLLOUT : POLLIN, wait); !waited.ok()) {
            // Nothing was asked of the server yet: no cancel request.
            PQfinish(conn_);
            conn_ = nullptr;
            return waited;
        }
        state = PQconnectPoll(conn_);
    }
    // From here on no call of libpq waits for the server (PQfinish's
    // goodbye included): every wait is this program's, with its deadline.
    if (PQsetnonblocking(conn_, 1) != 0) {
        const Outcome refused = failed(QStringLiteral("cannot connect to"), oneLine(PQerrorMessage(conn_)));
        PQfinish(conn_);
        conn_ = nullptr;
        return refused;
    }
    // The server's notices ("relation ... already exists, skipping") are
    // not for the people at the station.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    // The server gives up a statement as soon as this program would.
    return exec(QByteArray("SET statement_timeout = '" + QByteArray::number(StatementSeconds) + "s'").constData());
}

ProductionDatabase::Wait ProductionDatabase::beginWait(const QString& what, qint64 seconds)
{
    // After a stop signal (a stopped run's record): a server that answers
    // at once still gets it, a frozen one costs little; all waits after the
    // signal together end within StopGraceMs of it.
    const qint64 deadline = nowMs() + seconds * 1000;
    if (!platform::StopSignalReceived())
        return Wait{what, seconds, deadline, true};
    const std::lock_guard<std::mutex> hold(unansweredLock);
    if (stopSeenAt == 0)
        stopSeenAt = nowMs();
    return Wait{what, seconds, std::min(deadline, stopSeenAt + StopGraceMs), false};
}

Outcome ProductionDatabase::awaitSocket(short events, const Wait& wait)
{
    for (;;) {
        if (wait.endsOnStop && platform::StopSignalReceived()) {
            const std::lock_guard<std::mutex> hold(unansweredLock);
            stopSeenAt = stopSeenAt ? stopSeenAt : nowMs();
            stoppedWaiting_ = true;
            return failed(QStringLiteral("a stop signal ended the wait for"), QStringLiteral("%1 was given up").arg(wait.what));
        }
        const qint64 left = wait.deadlineMs - nowMs();
        if (left <= 0) {
            const std::lock_guard<std::mutex> hold(unansweredLock);
            if (wait.endsOnStop)
                unansweredAt[identity_] = nowMs();
            stoppedWaiting_ = !wait.endsOnStop;
            return failed(QStringLiteral("no answer came in time from"),
                          wait.endsOnStop ? QStringLiteral("%1 took longer than %2 s").arg(wait.what).arg(wait.seconds)
                                          : QStringLiteral("%1 took longer than the %2 ms given after a stop signal")
                                                .arg(wait.what)
                                                .arg(StopGraceMs));
        }
        // Woken every tenth of a second to see a stop signal.
        pollfd p{PQsocket(conn_), events, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<qint64>(left, 100))) > 0)
            return Outcome::Ok();
    }
}

void ProductionDatabase::abandon()
{
    if (!conn_)
        return;
    // The cancel request waits for the server's answer, which a frozen
    // server never gives: it is sent from a thread of its own.
    if (PGcancel* cancel = PQgetCancel(conn_)) {
        std::thread([cancel] {
            char error[256];
            PQcancel(cancel, error, sizeof error);
            PQfreeCancel(cancel);
        }).detach();
    }
    PQfinish(conn_);
    conn_ = nullptr;
}

Outcome ProductionDatabase::exec(const char* sql, const Params& params, Rows* rows)
{
    if (!conn_)
        return failed(QStringLiteral("no connection to"), QStringLiteral("it could not be reached"));
    stoppedWaiting_ = false;
    // A little beyond the server's own statement time-out, which ends the
    // statement first when the server still works.
    const Wait wait = beginWait(QStringLiteral("a request"), StatementSeconds + 2);
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->constData() : nullptr);
    const int sent = params.isEmpty() ? PQsendQuery(conn_, sql)
                                      : PQsendQueryParams(conn_, sql, static_cast<int>(values.size()), nullptr, values.data(),
                                                          nullptr, nullptr, 0);
    if (!sent)
        return failed(QStringLiteral("the connection was lost to"), oneLine(PQerrorMessage(conn_)));
    // A long request (a queue of many records) goes out as the server takes it.
    for (int flushed; (flushed = PQflush(conn_)) != 0;) {
        const Outcome waited = flushed < 0 ? failed(QStringLiteral("the connection was lost to"), oneLine(PQerrorMessage(conn_)))
                                           : awaitSocket(POLLIN | POLLOUT, wait);
        if (!waited.ok()) {
            abandon();
            return waited;
        }
        if (!PQconsumeInput(conn_))
            return failed(QStringLiteral("the connection was lost to"), oneLine(PQerrorMessage(conn_)));
    }
    Outcome outcome = Outcome::Ok();
    if (rows)
        rows->clear();
    for (;;) {
        while (PQisBusy(conn_)) {
            if (const Outcome waited = awaitSocket(POLLIN, wait); !waited.ok()) {
                abandon();
                return waited;
            }
            if (!PQconsumeInput(conn_))
                return failed(QStringLiteral("the connection was lost to"), oneLine(PQerrorMessage(conn_)));
        }
        PGresult* result = PQgetResult(conn_);
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && outcome.ok()) {
            const QString detail = oneLine(PQresultErrorMessage(result));
            outcome = PQstatus(conn_) == CONNECTION_OK ? failed(QStringLiteral("a request was refused by"), detail)
                                                       : failed(QStringLiteral("the connection was lost to"), detail);
        } else if (rows && status == PGRES_TUPLES_OK) {
            for (int r = 0; r < PQntuples(result); ++r) {
                QList<std::optional<QString>> row;
                for (int c = 0; c < PQnfields(result); ++c)
                    row << (PQgetisnull(result, r, c) ? std::nullopt : std::optional(QString::fromUtf8(PQgetvalue(result, r, c))));
                *rows << row;
            }
        }
        PQclear(result);
    }
    return outcome;
}

} // namespace vlboot
