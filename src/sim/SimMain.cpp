// vlboot-sim: the amplifier, the production fixture or a silent line on a
// pseudo-terminal, for trying the programming tool without hardware.
#include "DeviceModel.h"
#include "ExitStatus.h"
#include "Platform.h"
#include "PtyServer.h"
#include "SimDump.h"
#include "SimOptions.h"
#include "Version.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {


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

    DeviceModel model(options->device);
    for (const FaultOption& f : options->faults)
        model.InjectFault(f.request, f.occurrence, f.fault);

    PtyServer server(model, options->baud);
    const int stopSignalFd = vlboot::platform::InstallStopSignals();
    if (stopSignalFd < 0 || !server.Open(error)) {
        std::fprintf(stderr, "vlboot-sim: %s\n", error.empty() ? "cannot set up the stop signals" : error.c_str());
        return 1;
    }
    std::printf("%s\n", server.SlavePath().c_str());
    std::fflush(stdout);

    server.Run(stopSignalFd, stdinToWatch(options->ignoreStdin));

    std::fprintf(stderr, "%s\n", server.Summary().c_str());
    if (!options->dumpDir.empty() && !WriteDump(model, options->dumpDir, error)) {
        std::fprintf(stderr, "vlboot-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
