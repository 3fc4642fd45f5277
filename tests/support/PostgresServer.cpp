#include "PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <pwd.h>
#include <unistd.h>

namespace vlboot::test {

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
    if (run(QStringLiteral("initdb"), QStringLiteral("-D %1/data -U vlboot --pwfile=%2 --auth=scram-sha-256 --no-sync")
                                          .arg(dir_.path(), password.fileName()))
        && Start())
        run(QStringLiteral("createdb"), QStringLiteral("-h %1 -U vlboot factory").arg(dir_.path()), false);
}

bool PostgresServer::Start()
{
    started_ = run(QStringLiteral("pg_ctl"), QStringLiteral("-D %1/data -l %1/log -w start -o").arg(dir_.path()))
        || started_;
    return started_;
}

bool PostgresServer::Stop()
{
    started_ = started_ && !run(QStringLiteral("pg_ctl"), QStringLiteral("-D %1/data -m fast -w stop").arg(dir_.path()));
    return !started_;
}

bool PostgresServer::run(const QString& tool, const QString& args, bool asServer) const
{
    // The newest version installed; the server's options follow "-o".
    const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QStringList command{QStringLiteral("/usr/lib/postgresql/%1/bin/%2").arg(versions.value(versions.size() - 1), tool)};
    command << args.split(QLatin1Char(' '));
    if (command.constLast() == QLatin1String("-o"))
        command << QStringLiteral("-c listen_addresses='' -k ") + dir_.path();
    if (asServer && ::geteuid() == 0)
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--")} + command;
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
