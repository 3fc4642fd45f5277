// The lock files of serial devices that terminal programs honour (POSIX):
// `LCK..<name>` in the system's lock folder, holding the owner's process id.

#include "SerialPort.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vlboot {
namespace {

// Content that is no process id counts as being written for this long.
constexpr int UnreadableLockSeconds = 2;

// The live process named in the lock file at `path`: 0 when there is none
// (no file, the owner is gone, or unreadable content older than 2 s), -1
// for unreadable content still younger (its owner may be writing it).
qint64 holderOf(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); // a FIFO in its place must not block
    if (fd < 0)
        return 0;
    char text[32];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    struct stat st {};
    const bool stated = ::fstat(fd, &st) == 0;
    ::close(fd);

    qint64 pid = 0;
    ssize_t i = 0;
    while (i < n && text[i] == ' ')
        ++i;
    const ssize_t digits = i;
    while (i < n && text[i] >= '0' && text[i] <= '9' && pid < 1'000'000'000'000)
        pid = pid * 10 + (text[i++] - '0');
    const bool readable = i > digits && (i == n || text[i] == '\n') && pid > 0 && pid <= INT_MAX;
    if (!readable)
        return stated && std::time(nullptr) - st.st_mtime < UnreadableLockSeconds ? -1 : 0;
    const bool alive = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return alive ? pid : 0;
}

} // namespace

qint64 DeviceLockHolder(const QString& path)
{
    return holderOf(QFile::encodeName(path));
}

QString DeviceLockFolder()
{
    const QString run = QStringLiteral("/run/lock");
    return QFileInfo(run).isDir() ? run : QStringLiteral("/var/lock");
}

QString DeviceLockName(const QString& device)
{
    const QString real = QFileInfo(device).canonicalFilePath();
    QString name = real.isEmpty() ? device : real;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    else if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

DeviceLock TakeDeviceLock(const QString& folder, const QString& device)
{
    DeviceLock lock;
    lock.path = folder + QLatin1Char('/') + DeviceLockName(device);
    const QByteArray path = QFile::encodeName(lock.path);
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10lld\n", static_cast<long long>(::getpid()));
    // A lock that was taken over can be taken by another program first.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const bool written = ::write(fd, text, length) == length;
            ::close(fd);
            if (!written)
                ::unlink(path.constData());
            lock.outcome = written ? DeviceLock::Taken : DeviceLock::Skipped;
            return lock;
        }
        if (errno != EEXIST)
            return lock; // the folder cannot be written: Skipped
        const qint64 holder = holderOf(path);
        if (holder == ::getpid()) {
            lock.outcome = DeviceLock::Taken;
            return lock;
        }
        if (holder != 0) {
            lock.outcome = DeviceLock::Busy;
            lock.holder = qMax<qint64>(holder, 0);
            return lock;
        }
        ::unlink(path.constData()); // its owner is gone
    }
    lock.outcome = DeviceLock::Busy;
    return lock;
}

void ReleaseDeviceLock(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (holderOf(name) == ::getpid())
        ::unlink(name.constData());
}

} // namespace vlboot
