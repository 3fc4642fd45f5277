#include "PostgresServer.h"

#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

namespace vlboot::test {
namespace {

// The server in the foreground, its output in FOLDER/log. Each line on
// standard input is a signal for the server and each of its processes
// ("STOP", "CONT"; answered with an empty line), until "stop" or the end of
// input stops it. The end without "stop" is the test process gone: the
// folder goes too. The server also gets SIGINT (a fast shutdown) when this
// shell dies.
constexpr const char* Keeper = R"(dir=$1; shift
exec 3>&1 >>"$dir/log" 2>&1
setpriv --pdeathsig=INT -- "$@" 3>&- &
pid=$!
all() {
  kill -$1 $pid
  for s in /proc/[0-9]*/stat; do read -r p c st pp rest <"$s" && [ "$pp" = $pid ] && kill -$1 $p; done 2>/dev/null
}
while read -r what && [ "$what" != stop ]; do all "$what"; echo >&3; done
all CONT
kill -INT $pid
wait $pid
[ "$what" = stop ] || rm -rf "$dir")";

// One of the server's programs (under `wrapper`); as "nobody" when
// `asServer` and root (the server refuses to run as root).
QStringList command(const QString& tool, const QString& args, bool asServer = true, const QStringList& wrapper = {})
{
    // The newest version installed.
    const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    const QStringList command = wrapper + QStringList{QStringLiteral("/usr/lib/postgresql/%1/bin/%2").arg(versions.value(versions.size() - 1), tool)}
        + args.split(QLatin1Char(' '));
    if (!asServer || ::geteuid() != 0)
        return command;
    return QStringLiteral("setpriv --reuid=nobody --regid=nogroup --clear-groups --").split(QLatin1Char(' ')) + command;
}

} // namespace

PostgresServer::PostgresServer()
{
    QFile password(dir_.filePath(QStringLiteral("password")));
    if (!password.open(QIODevice::WriteOnly) || password.write(Password.toUtf8()) < 0 || !password.flush())
        return;
    if (const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr) {
        for (const QString& path : {dir_.path(), password.fileName()})
            if (::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return;
    }
    if (run(command(QStringLiteral("initdb"), QStringLiteral("-D %1/data -U vlboot --pwfile=%1/password --auth=scram-sha-256 --no-sync")
                                                  .arg(dir_.path())))
        && Start()) {
        for (const char* name : {"factory", "factory_b"})
            run(command(QStringLiteral("createdb"), QStringLiteral("-h %1 -U vlboot %2").arg(dir_.path(), name), false));
    }
}

bool PostgresServer::Start()
{
    // The keeper runs as the server's user, so that it can wake, stop and remove it.
    QStringList keeper = command(QStringLiteral("postgres"), QStringLiteral("-D %1/data -c listen_addresses= -k %1").arg(dir_.path()), true,
                                 {QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(Keeper), QStringLiteral("sh"), dir_.path()});
    server_.start(keeper.takeFirst(), keeper);
    // Ready once the server says so in its pid file, as pg_ctl -w reads it.
    for (QDeadlineTimer guard(60000); server_.state() != QProcess::NotRunning && !guard.hasExpired(); ::usleep(20000)) {
        QFile pidFile(dir_.filePath(QStringLiteral("data/postmaster.pid")));
        if (pidFile.open(QIODevice::ReadOnly) && pidFile.readAll().split('\n').value(7).startsWith("ready"))
            return true;
    }
    qWarning("postgres did not start: see %s", qPrintable(dir_.filePath(QStringLiteral("log"))));
    return false;
}

bool PostgresServer::Stop()
{
    if (server_.state() == QProcess::NotRunning)
        return true;
    server_.write("stop\n");
    server_.waitForBytesWritten(5000);
    server_.closeWriteChannel();
    return server_.waitForFinished(60000);
}

void PostgresServer::signalAll(const char* signal)
{
    server_.write(QByteArray(signal) + '\n');
    server_.waitForReadyRead(5000);
    server_.readAll();
}

bool PostgresServer::run(QStringList command) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), Password);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir_.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.takeFirst(), command);
    const bool ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning("%s failed: %s", qPrintable(command.join(QLatin1Char(' '))), process.readAll().constData());
    return ok;
}

} // namespace vlboot::test
