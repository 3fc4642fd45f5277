#pragma once

#include <QString>
#include <QTemporaryDir>

namespace vlboot::test {

// A private PostgreSQL server for one test, from Debian's packages: initdb
// into a temporary folder, listening on a Unix socket in it only, its
// superuser "vlboot" with Password, and a database "factory"; stopped at
// the end. The server refuses to run as root, so as root (CI) it runs as
// "nobody", which then owns the folder.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer() { Stop(); }
    bool Start();
    bool Stop();
    QString SocketFolder() const { return dir_.path(); }
    // A key=value connection string with `password`.
    QString Connection(const QString& password = Password) const
    {
        return QStringLiteral("host=%1 dbname=factory user=vlboot password=%2").arg(dir_.path(), password);
    }
    static inline const QString Password = QStringLiteral("pg-s3cret-9f");

private:
    // One of the server's programs, as "nobody" when `asServer` and root.
    bool run(const QString& tool, const QString& args, bool asServer = true) const;
    // Under /tmp, whatever TMPDIR says: "nobody" must reach it, and the
    // socket's path must stay short.
    QTemporaryDir dir_{QStringLiteral("/tmp/vlboot-pg-XXXXXX")};
    bool started_ = false;
};

} // namespace vlboot::test
