#include "PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <pwd.h>
#include <unistd.h>

namespace vlboot::test {
namespace {

// The programs of the newest server installed from Debian's packages.
QString serverTool(const QString& name)
{
    const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    return QStringLiteral("/usr/lib/postgresql/%1/bin/%2").arg(versions.value(versions.size() - 1), name);
}

} // namespace

PostgresServer::PostgresServer()
{
    const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    QFile password(dir_.filePath(QStringLiteral("password")));
    if (!password.open(QIODevice::WriteOnly) || password.write(Password.toUtf8()) < 0 || !password.flush()
        || (nobody && (::chown(QFile::encodeName(dir_.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0
                       || ::chown(QFile::encodeName(password.fileName()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)))
        return;
    if (run(QStringLiteral("initdb"), {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-U"), QStringLiteral("vlboot"),
                                       QStringLiteral("--pwfile=") + password.fileName(), QStringLiteral("--auth=scram-sha-256"), QStringLiteral("--no-sync")},
            true)
        && Start())
        run(QStringLiteral("createdb"), {QStringLiteral("-h"), dir_.path(), QStringLiteral("-U"), QStringLiteral("vlboot"), QStringLiteral("factory")}, false);
}

PostgresServer::~PostgresServer()
{
    Stop();
}

bool PostgresServer::Start()
{
    started_ = run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"), dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"),
                                              QStringLiteral("-o"), QStringLiteral("-c listen_addresses='' -k ") + dir_.path(), QStringLiteral("start")},
                   true);
    return started_;
}

bool PostgresServer::Stop()
{
    if (started_)
        started_ = !run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")}, true);
    return !started_;
}

QString PostgresServer::Connection(const QString& password) const
{
    return QStringLiteral("host=%1 dbname=factory user=vlboot password=%2").arg(dir_.path(), password);
}

bool PostgresServer::run(const QString& tool, const QStringList& args, bool asServer) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), Password);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir_.path());
    if (asServer && ::geteuid() == 0)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), serverTool(tool)} + args);
    else
        process.start(serverTool(tool), args);
    const bool ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning("%s failed: %s%s", qPrintable(tool), process.readAllStandardOutput().constData(), process.readAllStandardError().constData());
    return ok;
}

} // namespace vlboot::test
