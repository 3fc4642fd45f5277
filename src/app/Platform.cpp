// Everything of files, terminals and processes that differs between
// operating systems.

#include "Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace vlboot::platform {

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

QString notRegular(mode_t mode)
{
    return QStringLiteral("is %1, not a regular file (a firmware file is read twice, so it must be a file on disk)")
        .arg(kindOf(mode));
}

long long nanoseconds(const timespec& t)
{
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

} // namespace

bool OpenRegularFile(QFile& file, const QString& path, QString& why)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (::stat(name.constData(), &before) == 0 && !S_ISREG(before.st_mode)) {
        why = notRegular(before.st_mode);
        return false;
    }
    // Non-blocking, so that a FIFO put in its place meanwhile cannot block
    // the open; what was opened is checked again.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = QStringLiteral("cannot be opened (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        why = notRegular(opened.st_mode);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        why = QStringLiteral("cannot be opened (%1)").arg(file.errorString());
        ::close(fd);
        return false;
    }
    return true;
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

bool AppendWhole(const QString& path, const QByteArray& header, const QByteArray& line, QString& why)
{
    const auto failed = [&why](const char* what) {
        why = QStringLiteral("%1 (%2)").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failed("cannot be opened for appending");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0)
        return failed("cannot be locked");
    struct stat s {};
    if (::fstat(fd, &s) != 0)
        return failed("cannot be read");
    const QByteArray bytes = s.st_size == 0 ? header + line : line;
    ssize_t n;
    while ((n = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()))) < 0 && errno == EINTR) {
    }
    if (n != static_cast<ssize_t>(bytes.size())) {
        const int error = n < 0 ? errno : ENOSPC;
        [[maybe_unused]] const int cut = ::ftruncate(fd, s.st_size);
        errno = error;
        return failed("cannot be written");
    }
    if (::fsync(fd) != 0)
        return failed("cannot be synced to disk");
    if (s.st_size == 0 && !SyncFolder(QFileInfo(path).absolutePath()))
        return failed("was made, but its folder cannot be synced to disk");
    return true;
}

bool CanReadWrite(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

namespace {

volatile std::sig_atomic_t firstStopSignal = 0;
int stopPipe[2] = {-1, -1};

void onStopSignal(int signal)
{
    if (!firstStopSignal)
        firstStopSignal = signal;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

void writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += n;
        size -= n;
    }
}

} // namespace

int InstallStopSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    if (stopPipe[0] >= 0)
        return stopPipe[0];
    if (::pipe(stopPipe) != 0)
        return -1;
    for (int fd : stopPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A program may be started with them blocked (the mask is inherited).
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    return stopPipe[0];
}

int StopSignalReceived()
{
    return firstStopSignal;
}

void DrainStopSignals()
{
    char bytes[64];
    while (stopPipe[0] >= 0 && ::read(stopPipe[0], bytes, sizeof bytes) > 0) {
    }
}

int ExitStatusOfSignal(int signal)
{
    return 128 + signal;
}

QString SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
    default: return QStringLiteral("signal %1").arg(signal);
    }
}

void SendSignal(qint64 pid, int signal)
{
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), signal);
}

void StartInOwnProcessGroup(QProcess& child)
{
    child.setChildProcessModifier([] { ::setpgid(0, 0); });
}

void WriteStandardOutput(const QByteArray& bytes)
{
    writeAll(STDOUT_FILENO, bytes.constData(), bytes.size());
}

void WriteStandardError(const QByteArray& bytes)
{
    writeAll(STDERR_FILENO, bytes.constData(), bytes.size());
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

int StandardErrorColumns()
{
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

#else

bool OpenRegularFile(QFile& file, const QString& path, QString& why)
{
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
        why = QStringLiteral("is not a regular file (a firmware file is read twice, so it must be a file on disk)");
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        why = QStringLiteral("cannot be opened (%1)").arg(file.errorString());
        return false;
    }
    return true;
}

std::optional<FileIdentity> IdentityOf(const QFile& openFile)
{
    const QFileInfo info(openFile.fileName());
    if (!info.exists())
        return std::nullopt;
    FileIdentity id;
    id.size = info.size();
    id.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000LL;
    id.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000LL;
    return id;
}

bool SyncFolder(const QString&)
{
    return true;
}

// The appenders of one file (the units of a production line) take turns
// through a lock of one byte far past any end the file will have, so that
// the lock keeps no reader out of the lines.
bool AppendWhole(const QString& path, const QByteArray& header, const QByteArray& line, QString& why)
{
    const auto failed = [&why](const char* what) {
        why = QStringLiteral("%1 (%2)").arg(QLatin1String(what), qt_error_string(static_cast<int>(::GetLastError())));
        return false;
    };
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed("cannot be opened for appending");
    OVERLAPPED turn{};
    turn.OffsetHigh = 0x7fff0000;
    struct Closer {
        HANDLE file;
        OVERLAPPED* turn = nullptr;
        ~Closer()
        {
            if (turn)
                ::UnlockFileEx(file, 0, 1, 0, turn);
            ::CloseHandle(file);
        }
    } closer{file};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn))
        return failed("cannot be locked");
    closer.turn = &turn;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || !::SetFilePointerEx(file, size, nullptr, FILE_BEGIN))
        return failed("cannot be read");
    const QByteArray bytes = size.QuadPart == 0 ? header + line : line;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!wrote || written != static_cast<DWORD>(bytes.size())) {
        const DWORD error = wrote ? DWORD{ERROR_DISK_FULL} : ::GetLastError();
        ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file);
        ::SetLastError(error);
        return failed("cannot be written");
    }
    if (!::FlushFileBuffers(file))
        return failed("cannot be synced to disk");
    return true;
}

bool CanReadWrite(const QString& path)
{
    const QFileInfo info(path);
    return info.isReadable() && info.isWritable();
}

// Windows delivers no SIGTERM, and a console's Ctrl+C (or its closing)
// ends every program of the console at once, the units of a production
// line too, which share their parent's console (StartInOwnProcessGroup does
// nothing here): the system closes each one's port with the process. No
// stop is noted, so nothing is passed on (SendSignal does nothing).
int InstallStopSignals()
{
    return -1;
}

int StopSignalReceived()
{
    return 0;
}

void DrainStopSignals()
{
}

int ExitStatusOfSignal(int signal)
{
    return 128 + signal;
}

QString SignalName(int signal)
{
    return QStringLiteral("signal %1").arg(signal);
}

void SendSignal(qint64, int)
{
}

void StartInOwnProcessGroup(QProcess&)
{
}

void WriteStandardOutput(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void WriteStandardError(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

bool StandardErrorIsTerminal()
{
    return false;
}

bool StandardOutputIsTerminal()
{
    return false;
}

int StandardErrorColumns()
{
    return 0;
}

#endif

} // namespace vlboot::platform
