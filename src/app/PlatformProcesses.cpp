// Processes, stop signals, standard output and the terminal, as they differ
// between operating systems.

#include "Platform.h"

#include <QProcess>
#include <cstdio>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace vlboot::platform {

#if defined(Q_OS_UNIX)
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

int standardOutputError = 0;

// 0 when all was written, else the error.
int writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= n;
    }
    return 0;
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
    // SIGHUP too: a closed terminal stops the run as Ctrl+C does.
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    // A program may be started with them blocked (the mask is inherited).
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
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
    case SIGHUP: return QStringLiteral("SIGHUP");
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
    const int error = writeAll(STDOUT_FILENO, bytes.constData(), bytes.size());
    if (error && !standardOutputError)
        standardOutputError = error;
}

QString StandardOutputFailure()
{
    return standardOutputError ? QString::fromLocal8Bit(std::strerror(standardOutputError)) : QString();
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

Outcome ArgumentsAreText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (QString::fromLocal8Bit(bytes).toLocal8Bit() == bytes)
            continue;
        QString shown;
        for (const char c : bytes) {
            const auto u = static_cast<unsigned char>(c);
            shown += u >= 0x20 && u < 0x7F ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        }
        return Outcome::Failed(QStringLiteral("%1 is no text in this system's encoding: it cannot name a file or folder; "
                                              "rename it")
                                   .arg(shown));
    }
    return Outcome::Ok();
}

int StandardErrorRows()
{
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_row;
}

#else

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

static bool standardOutputFailed = false;

void WriteStandardOutput(const QByteArray& bytes)
{
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) == size_t(bytes.size());
    if (!written || std::fflush(stdout) != 0)
        standardOutputFailed = true;
}

QString StandardOutputFailure()
{
    return standardOutputFailed ? QStringLiteral("a write failed") : QString();
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

Outcome ArgumentsAreText(int, char**)
{
    return Outcome::Ok();
}

int StandardErrorRows()
{
    return 0;
}

#endif

} // namespace vlboot::platform
