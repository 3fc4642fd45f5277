#include "CliSignals.h"

#include "CliOptions.h"
#include "SafeEnd.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vlboot::cli {
namespace {

volatile std::sig_atomic_t stderrLineOpen = 0;
volatile std::sig_atomic_t pendingSignal = 0;
volatile std::sig_atomic_t stopPipeWriteEnd = -1;
std::function<void()> stopCleanup;

void writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // a closed pipe or a full disk: the output is lost, the run goes on
        }
        data += n;
        size -= n;
    }
}

int exitCodeOf(int signal)
{
    return signal == SIGINT ? ExitCodes::Interrupted : ExitCodes::Terminated;
}

[[noreturn]] void endNow(int signal)
{
    if (stderrLineOpen) {
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, "\n", 1);
    }
    ::_exit(exitCodeOf(signal));
}

void onStopSignal(int signal)
{
    if (pendingSignal || stopPipeWriteEnd < 0)
        endNow(signal);
    pendingSignal = signal;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipeWriteEnd, &byte, 1);
    errno = saved;
}

} // namespace

void InstallSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void HandleStopSignalsInEventLoop()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return; // the signals keep ending the program at once
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        // Not in the middle of giving out a serial number: that step ends first.
        EndWhenSafe([] {
            if (stopCleanup)
                stopCleanup();
            endNow(pendingSignal);
        });
    });
    stopPipeWriteEnd = fds[1];
}

void SetStopCleanup(std::function<void()> cleanUp)
{
    stopCleanup = std::move(cleanUp);
}

void WriteStdout(const QByteArray& bytes)
{
    writeAll(STDOUT_FILENO, bytes.constData(), bytes.size());
}

void WriteStderr(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    writeAll(STDERR_FILENO, bytes.constData(), bytes.size());
    stderrLineOpen = bytes.endsWith('\n') ? 0 : 1;
}

} // namespace vlboot::cli
