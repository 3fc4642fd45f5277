// Files, as they differ between operating systems: a regular file opened
// for reading without blocking, a file's identity, durable writes and whole
// lines appended under a lock. POSIX systems here; Windows in
// PlatformFilesWin.cpp.

#include "Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace vlboot::platform {

QString AsideName(const QString& path, const QDateTime& now)
{
    const QFileInfo info(path);
    const QString stem = info.completeBaseName() + QStringLiteral("-until-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return info.dir().filePath(info.suffix().isEmpty() ? stem : stem + QLatin1Char('.') + info.suffix());
}

#if defined(Q_OS_UNIX)
namespace {

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe or FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    return QStringLiteral("not a regular file");
}

long long nanoseconds(const timespec& t)
{
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A descriptor closed on the way out.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens `name` without blocking (a FIFO without a peer would block an
// ordinary open for ever, and a stop signal only restarts it); anything but
// a regular file is refused, saying what it is. What is no regular file is
// not even opened (a terminal's open has effects of its own), and what
// turns into one between the look and the open is refused after it.
Outcome openRegular(Descriptor& d, const QByteArray& name, int flags)
{
    struct stat named {};
    if (::stat(name.constData(), &named) == 0 && !S_ISREG(named.st_mode))
        return Outcome::Failed(QStringLiteral("is %1, not a regular file").arg(kindOf(named.st_mode)));
    d.fd = ::open(name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (d.fd < 0) {
        if (errno == ENXIO) // a FIFO that nobody reads
            return Outcome::Failed(QStringLiteral("is a pipe or FIFO, not a regular file"));
        return Outcome::Failed(QStringLiteral("cannot be opened (%1)").arg(systemText(errno)));
    }
    struct stat s {};
    if (::fstat(d.fd, &s) != 0)
        return Outcome::Failed(QStringLiteral("cannot be read (%1)").arg(systemText(errno)));
    if (!S_ISREG(s.st_mode))
        return Outcome::Failed(QStringLiteral("is %1, not a regular file").arg(kindOf(s.st_mode)));
    ::fcntl(d.fd, F_SETFL, ::fcntl(d.fd, F_GETFL) & ~O_NONBLOCK);
    return Outcome::Ok();
}

// Takes the file's exclusive lock, waiting at most `timeoutMs`; a stop
// signal ends the wait.
Outcome lockFile(int fd, int timeoutMs)
{
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return Outcome::Failed(QStringLiteral("cannot be locked (%1)").arg(systemText(errno)));
        if (StopSignalReceived())
            return Outcome::Failed(QStringLiteral("was still locked by another program when a stop was asked for"));
        if (QDateTime::currentMSecsSinceEpoch() > deadline)
            return Outcome::Failed(QStringLiteral("stayed locked by another program for %1 seconds").arg(timeoutMs / 1000));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Outcome::Ok();
}

// The file begins with `header` (or is empty).
bool startsWith(int fd, const QByteArray& header)
{
    QByteArray first(header.size(), '\0');
    const ssize_t n = ::pread(fd, first.data(), static_cast<size_t>(first.size()), 0);
    return n == static_cast<ssize_t>(header.size()) && first == header;
}

} // namespace

Outcome OpenRegularFile(QFile& file, const QString& path)
{
    Descriptor d;
    const Outcome opened = openRegular(d, QFile::encodeName(path), O_RDONLY);
    if (!opened.ok())
        return opened.why().startsWith(QStringLiteral("is "))
            ? Outcome::Failed(opened.why() + QStringLiteral(" (a firmware file is read twice, so it must be a file on disk)"))
            : opened;
    if (!file.open(d.fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return Outcome::Failed(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
    d.fd = -1; // the file owns it now
    return Outcome::Ok();
}

Result<QByteArray> ReadWholeFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat s {};
    if (::stat(name.constData(), &s) != 0 && errno == ENOENT)
        return QByteArray();
    Descriptor d;
    if (const Outcome opened = openRegular(d, name, O_RDONLY); !opened.ok())
        return opened;
    QByteArray content;
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(d.fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Outcome::Failed(QStringLiteral("cannot be read (%1)").arg(systemText(errno)));
        if (n == 0)
            return content;
        content.append(block, n);
    }
}

Outcome AppendBytes(const QString& path, const QByteArray& bytes)
{
    Descriptor d;
    if (const Outcome opened = openRegular(d, QFile::encodeName(path), O_WRONLY | O_APPEND | O_CREAT); !opened.ok())
        return opened;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(d.fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Outcome::Failed(QStringLiteral("cannot be written (%1)").arg(systemText(n < 0 ? errno : ENOSPC)));
        done += n;
    }
    return Outcome::Ok();
}

QString NonRegularKind(const QString& path)
{
    struct stat s {};
    if (::stat(QFile::encodeName(path).constData(), &s) != 0 || S_ISREG(s.st_mode))
        return {};
    return kindOf(s.st_mode);
}

std::optional<FileIdentity> IdentityOf(const QFile& openFile)
{
    struct stat s {};
    if (openFile.handle() < 0 || ::fstat(openFile.handle(), &s) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<unsigned long long>(s.st_dev), static_cast<unsigned long long>(s.st_ino),
                        static_cast<long long>(s.st_size), nanoseconds(s.st_mtim), nanoseconds(s.st_ctim)};
}

bool SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

Outcome AppendWhole(const QString& path, const QByteArray& header, const QByteArray& line)
{
    const QByteArray name = QFile::encodeName(path);
    Descriptor d;
    struct stat s {};
    for (;;) {
        if (const Outcome opened = openRegular(d, name, O_RDWR | O_APPEND | O_CREAT); !opened.ok())
            return opened;
        if (const Outcome locked = lockFile(d.fd, AppendLockTimeoutMs); !locked.ok())
            return locked;
        // Another program may have set the file aside while this one waited
        // for its lock: then the name leads to a new file.
        struct stat named {};
        if (::fstat(d.fd, &s) != 0)
            return Outcome::Failed(QStringLiteral("cannot be read (%1)").arg(systemText(errno)));
        if (::stat(name.constData(), &named) == 0 && named.st_ino == s.st_ino && named.st_dev == s.st_dev)
            break;
        ::close(std::exchange(d.fd, -1));
    }
    if (s.st_size > 0 && !startsWith(d.fd, header)) {
        // Lines of other columns (an older vlboot's): that file is kept
        // under another name, and a new one begins.
        const QString aside = AsideName(path, QDateTime::currentDateTime());
        if (::rename(name.constData(), QFile::encodeName(aside).constData()) != 0)
            return Outcome::Failed(QStringLiteral("has other columns and cannot be set aside (%1)").arg(systemText(errno)));
        return AppendWhole(path, header, line).Note(QStringLiteral("%1 had other columns: it was kept as %2").arg(path, aside));
    }
    char last = '\n';
    if (s.st_size > 0 && ::pread(d.fd, &last, 1, s.st_size - 1) != 1)
        return Outcome::Failed(QStringLiteral("cannot be read (%1)").arg(systemText(errno)));
    // A last line without its line end (edited by hand) is ended first.
    const QByteArray bytes = s.st_size == 0 ? header + line : (last == '\n' ? line : QByteArrayLiteral("\r\n") + line);
    ssize_t n;
    while ((n = ::write(d.fd, bytes.constData(), static_cast<size_t>(bytes.size()))) < 0 && errno == EINTR) {
    }
    if (n != static_cast<ssize_t>(bytes.size())) {
        const int error = n < 0 ? errno : ENOSPC;
        [[maybe_unused]] const int cut = ::ftruncate(d.fd, s.st_size);
        return Outcome::Failed(QStringLiteral("cannot be written (%1)").arg(systemText(error)));
    }
    if (::fsync(d.fd) != 0)
        return Outcome::Failed(QStringLiteral("cannot be synced to disk (%1)").arg(systemText(errno)));
    if (s.st_size == 0 && !SyncFolder(QFileInfo(path).absolutePath()))
        return Outcome::Failed(QStringLiteral("was made, but its folder cannot be synced to disk"));
    return Outcome::Ok();
}

bool CanReadWrite(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

#endif

} // namespace vlboot::platform
