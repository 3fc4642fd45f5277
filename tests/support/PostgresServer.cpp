#include "PostgresServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace vlboot::test {
namespace {

// The server in the foreground, its output in FOLDER/log; a line on
// standard input ("stop") or its end stops it. The end without "stop" is
// the test process gone: the folder goes too. A frozen server (and its
// processes) is woken first, so that it can shut down. The server also
// gets SIGINT (a fast shutdown) when this shell dies.
constexpr const char* Keeper = R"(dir=$1; shift
exec >>"$dir/log" 2>&1
setpriv --pdeathsig=INT -- "$@" &
pid=$!
read -r why
kill -CONT $pid
for s in /proc/[0-9]*/stat; do
  read -r p c st pp rest <"$s" && [ "$pp" = "$pid" ] && kill -CONT "$p"
done 2>/dev/null
kill -INT $pid
wait $pid
[ "$why" = stop ] || rm -rf "$dir")";

QString toolPath(const QString& tool)
{
    // The newest version installed.
    const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    return QStringLiteral("/usr/lib/postgresql/%1/bin/%2").arg(versions.value(versions.size() - 1), tool);
}

// As "nobody" when root: the server refuses to run as root.
QStringList asServerUser(QStringList command)
{
    if (::geteuid() != 0)
        return command;
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                       QStringLiteral("--clear-groups"), QStringLiteral("--")}
        + command;
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
    if (run(QStringLiteral("initdb"), {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-U"),
                                       QStringLiteral("vlboot"), QStringLiteral("--pwfile=") + password.fileName(),
                                       QStringLiteral("--auth=scram-sha-256"), QStringLiteral("--no-sync")})
        && Start())
        CreateDatabase(QStringLiteral("factory"));
}

PostgresServer::~PostgresServer()
{
    Stop();
}

bool PostgresServer::Start()
{
    if (server_.state() != QProcess::NotRunning)
        return true;
    QStringList command = asServerUser({QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(Keeper), QStringLiteral("sh"),
                                        dir_.path(), toolPath(QStringLiteral("postgres")), QStringLiteral("-D"),
                                        dir_.filePath(QStringLiteral("data")), QStringLiteral("-c"), QStringLiteral("listen_addresses="),
                                        QStringLiteral("-k"), dir_.path()});
    server_.setWorkingDirectory(dir_.path());
    server_.start(command.takeFirst(), command);
    // Ready once the server says so in its pid file, as pg_ctl -w reads it.
    QElapsedTimer waited;
    waited.start();
    while (server_.state() != QProcess::NotRunning && waited.elapsed() < 60000) {
        QFile pidFile(dir_.filePath(QStringLiteral("data/postmaster.pid")));
        if (pidFile.open(QIODevice::ReadOnly) && pidFile.readAll().split('\n').value(7).startsWith("ready"))
            return true;
        QThread::msleep(20);
    }
    qWarning("postgres did not start: %s", QFile(dir_.filePath(QStringLiteral("log"))).exists() ? "see its log" : "no log");
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

void PostgresServer::Freeze()
{
    signalAll(SIGSTOP);
}

void PostgresServer::Thaw()
{
    signalAll(SIGCONT);
}

void PostgresServer::signalAll(int signal)
{
    QFile pidFile(dir_.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly))
        return;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    if (postmaster.toInt() <= 0)
        return;
    ::kill(postmaster.toInt(), signal);
    // Its children: "pid (comm) state ppid ...".
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        const QList<QByteArray> fields = stat.open(QIODevice::ReadOnly) ? stat.readAll().split(' ') : QList<QByteArray>();
        if (fields.value(3) == postmaster)
            ::kill(entry.toInt(), signal);
    }
}

bool PostgresServer::CreateDatabase(const QString& name) const
{
    return run(QStringLiteral("createdb"), {QStringLiteral("-h"), dir_.path(), QStringLiteral("-U"), QStringLiteral("vlboot"), name},
               false);
}

bool PostgresServer::run(const QString& tool, const QStringList& args, bool asServer) const
{
    QStringList command = QStringList{toolPath(tool)} + args;
    if (asServer)
        command = asServerUser(command);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), Password);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir_.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.takeFirst(), command);
    const bool ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning("%s failed: %s", qPrintable(tool), process.readAll().constData());
    return ok;
}

} // namespace vlboot::test
