#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vlboot::test {

// A private PostgreSQL server for one test: initdb into a temporary folder,
// listening on a Unix socket in it only, its superuser "vlboot" with
// Password, and a database "factory"; stopped and removed at the end. The
// server refuses to run as root, so as root it runs as "nobody".
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    bool Start();
    bool Stop();
    bool Started() const { return started_; }
    // A key=value connection string with `password`.
    QString Connection(const QString& password = Password) const;
    QString SocketFolder() const { return dir_.path(); }
    static inline const QString Password = QStringLiteral("pg-s3cret-9f");

private:
    bool run(const QString& tool, const QStringList& args, bool asServer) const;
    QTemporaryDir dir_;
    bool started_ = false;
};

} // namespace vlboot::test
