#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace vlboot::test {

// A private PostgreSQL server for one test, from Debian's packages: initdb
// into a temporary folder, listening on a Unix socket in it only, its
// superuser "vlboot" with Password, and databases "factory" and
// "factory_b"; stopped at the end. The server refuses to run as root, so as root (CI) it runs as
// "nobody", which then owns the folder.
//
// The server's life is tied to the test process: `postgres` runs in the
// foreground under a small shell that reads a pipe from the test (and
// sends the server's processes the signals asked for). When the test ends
// in any way (also SIGKILL, as a time-out does), the pipe closes and the
// shell wakes a frozen server, stops it and removes the folder.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer() { Stop(); }
    bool Start();
    bool Stop();
    // SIGSTOP / SIGCONT to the server and each of its processes: a server
    // that no longer answers at all, and its return.
    void Freeze() { signalAll("STOP"); }
    void Thaw() { signalAll("CONT"); }
    QString SocketFolder() const { return dir_.path(); }
    // A key=value connection string with `password` to database `name`.
    QString Connection(const QString& password = Password, const QString& name = QStringLiteral("factory")) const
    {
        return QStringLiteral("host=%1 dbname=%3 user=vlboot password=%2").arg(dir_.path(), password, name);
    }
    static inline const QString Password = QStringLiteral("pg-s3cret-9f");

private:
    // A program to its end.
    bool run(QStringList command) const;
    void signalAll(const char* signal);
    // Under /tmp, whatever TMPDIR says: "nobody" must reach it, and the
    // socket's path must stay short.
    QTemporaryDir dir_{QStringLiteral("/tmp/vlboot-pg-XXXXXX")};
    QProcess server_;
};

} // namespace vlboot::test
