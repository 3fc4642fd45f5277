#include "CliRun.h"

#include "Bootloader.h"
#include "CliSettings.h"
#include "CliSignals.h"
#include "ComForm.h"
#include "FailureHint.h"
#include "RunSummary.h"
#include "Settings.h"
#include "WaitClock.h"

namespace vlboot::cli {

int ExitStatus(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Success: return ExitCodes::Success;
    case RunOutcome::Timeout: return ExitCodes::Timeout;
    case RunOutcome::Fault: break;
    }
    return ExitCodes::Fault;
}

int RunProgramming(const CliOptions& options, const QString& configDir, const CliOutput& output, bool stderrIsTerminal)
{
    SteadyWaitClock clock;
    const double start = clock.Now();

    Settings settings(configDir);
    const StartupSettings startup = ReadStartupSettings(settings, options);

    CliView::Mode mode;
    mode.json = options.json;
    mode.quiet = options.quiet;
    mode.progressBar = stderrIsTerminal && !options.quiet;
    CliView view(mode, output, [&clock] { return clock.Now(); });

    ComForm link(configDir, PortResolverFor(options));
    link.ShowMessage = [&view, &link](const QString& title, const QString& text) {
        view.ShowMessage(title, text);
        const ComForm::OpenError& error = link.LastOpenError();
        if (error.Number != 0)
            view.SetPortHint(OpenFailureHint(error, ProbePortAccess(error.DevicePath)));
    };
    if (startup.log)
        link.Log.SetLogging(true);
    // A stop signal during the run closes the port (and frees its lock) first.
    SetStopCleanup([&link] { link.CloseMScomm(); });

    Bootloader device(link, settings, clock);
    device.ReplyTimeout = options.replyTimeout;
    ProgrammingRun run(device, settings, view);
    run.ProgramModule(startup.firmwareFile);
    link.CloseMScomm();
    SetStopCleanup({});

    RunResult result;
    result.status = ExitStatus(run.Outcome());
    if (result.status != ExitCodes::Success)
        result.why = view.Why();
    result.exchanges = static_cast<int>(device.RoundTrips().size());
    result.medianRttMs = MedianMilliseconds(device.RoundTrips());
    result.wallSeconds = clock.Now() - start;
    view.Finish(result);
    return result.status;
}

} // namespace vlboot::cli
