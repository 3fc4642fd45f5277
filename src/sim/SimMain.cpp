// vlboot-sim: the amplifier, the production fixture or a silent line on a
// pseudo-terminal, for trying the programming tool without hardware.
#include "DeviceModel.h"
#include "ExitStatus.h"
#include "Platform.h"
#include "PtyServer.h"
#include "SimDump.h"
#include "SimOptions.h"
#include "UnitLine.h"
#include "Version.h"

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int unitSignalPipe[2] = {-1, -1};

void onUnitSignal(int signal)
{
    const int saved = errno;
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(unitSignalPipe[1], &number, 1); // full: enough wait there
    errno = saved;
}

// SIGUSR1 takes the unit off the line, SIGUSR2 puts one on: the handlers
// write the signal's number into a pipe the server watches. Returns its
// reading end, or -1.
int installUnitSignals()
{
    if (::pipe2(unitSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return -1;
    struct sigaction action {};
    action.sa_handler = onUnitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigset_t both;
    sigemptyset(&both);
    for (int signal : {SIGUSR1, SIGUSR2}) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&both, signal);
    }
    ::sigprocmask(SIG_UNBLOCK, &both, nullptr); // a program may be started with them blocked
    return unitSignalPipe[0];
}

// The units log, replaced at the start. Opened without waiting (a FIFO
// nobody reads is refused at once), then written in blocking mode.
int openUnitsLog(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}


// End of file on standard input stops the simulator only when it is a pipe
// or a socket (the starting program went away); a terminal or /dev/null is
// not watched.
int stdinToWatch(bool ignore)
{
    struct stat st {};
    if (ignore || ::fstat(STDIN_FILENO, &st) != 0)
        return -1;
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ? STDIN_FILENO : -1;
}

// What is kept of each unit that leaves: its line in the units log and its
// dump. A write that fails is said on standard error and makes the exit
// status 1.
class Departures {
public:
    Departures(const vlboot::sim::SimOptions& options, int logFd)
        : o_(options)
        , logFd_(logFd)
        , startEpoch_(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count())
    {
    }

    void Keep(const vlboot::sim::UnitReport& report, const vlboot::sim::DeviceModel& unit)
    {
        const std::string line = UnitLogLine(report, unit, startEpoch_) + "\n";
        if (logFd_ >= 0 && ::write(logFd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            std::fprintf(stderr, "vlboot-sim: cannot write the units log %s: %s\n", o_.unitsLog.c_str(), std::strerror(errno));
            ::close(logFd_);
            logFd_ = -1;
            failed_ = true;
        }
        // The one unit of a simulator without a schedule keeps the folder itself.
        const bool alone = !o_.schedule.Given() && report.number == 1 && report.leftBy == "stop";
        const std::string dir = alone ? o_.dumpDir : o_.dumpDir + "/unit-" + std::to_string(report.number);
        std::string why;
        if (!o_.dumpDir.empty() && !WriteDump(unit, dir, why)) {
            std::fprintf(stderr, "vlboot-sim: %s\n", why.c_str());
            failed_ = true;
        }
    }
    bool Failed() const { return failed_; }

private:
    const vlboot::sim::SimOptions& o_;
    int logFd_;
    double startEpoch_; // the wall-clock time the units' times count from
    bool failed_ = false;
};

// Serves the line on its pseudo-terminal until a stop signal, the end of
// the standard input it watches, or the last of its --units has left.
int serveLine(const vlboot::sim::SimOptions& o, Departures& departures)
{
    using namespace vlboot::sim;
    std::string error;
    PtyServer server(o.baud);
    const int stopSignalFd = vlboot::platform::InstallStopSignals();
    const int unitSignalFd = installUnitSignals();
    if (stopSignalFd < 0 || unitSignalFd < 0 || !server.Open(error)) {
        std::fprintf(stderr, "vlboot-sim: %s\n", error.empty() ? "cannot set up the signals" : error.c_str());
        return 1;
    }
    UnitLine line(o.device, o.faults, o.schedule, MonotonicNs(),
                  [&departures](const UnitReport& report, const DeviceModel& unit) { departures.Keep(report, unit); });
    int served = -1; // the arrival number of the unit the server has (0: nobody)
    const auto serve = [&] {
        const int on = line.Unit() != nullptr ? line.Arrivals() : 0;
        if (on != served)
            server.SetUnit(line.Unit());
        served = on;
    };
    server.onRequest = [&](Request request, bool answered) { line.Taken(request, answered, MonotonicNs()); };
    line.Start(MonotonicNs());
    serve();
    std::printf("%s\n", server.SlavePath().c_str());
    std::fflush(stdout);

    const int watchFd = stdinToWatch(o.ignoreStdin);
    while (!line.Finished()) {
        const PtyServer::Wake wake = server.Serve(stopSignalFd, watchFd, unitSignalFd, line.NextChangeNs());
        if (wake == PtyServer::Wake::Stop)
            break;
        char received[16];
        const ssize_t n = wake == PtyServer::Wake::Control ? ::read(unitSignalFd, received, sizeof received) : 0;
        for (ssize_t i = 0; i < n; ++i) {
            if (received[i] == SIGUSR1)
                line.TakeOff(MonotonicNs(), "signal");
            else
                line.PutOn(MonotonicNs());
            serve();
        }
        line.Advance(MonotonicNs());
        serve();
    }

    std::fprintf(stderr, "%s, units %d\n", server.Summary().c_str(), line.Arrivals());
    line.TakeOff(MonotonicNs(), "stop");
    return departures.Failed() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vlboot::sim;

    std::string error;
    const auto options = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "vlboot-sim: %s\nTry 'vlboot-sim --help'.\n", error.c_str());
        return vlboot::ExitStatus::Usage;
    }
    if (options->help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("vlboot-sim %s\n", vlboot::VersionText);
        return 0;
    }

    if (!options->dumpDir.empty() && !PrepareDumpFolder(options->dumpDir, error)) {
        std::fprintf(stderr, "vlboot-sim: %s\n", error.c_str());
        return 1;
    }

    int logFd = -1;
    if (!options->unitsLog.empty() && (logFd = openUnitsLog(options->unitsLog)) < 0) {
        std::fprintf(stderr, "vlboot-sim: cannot write the units log %s: %s\n", options->unitsLog.c_str(),
                     errno == ENXIO ? "a FIFO nobody reads" : std::strerror(errno));
        return 1;
    }
    Departures departures(*options, logFd);
    return serveLine(*options, departures);
}
