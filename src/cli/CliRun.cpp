#include "CliRun.h"

#include "Bootloader.h"
#include "CliSettings.h"
#include "ComForm.h"
#include "FailureHint.h"
#include "Platform.h"
#include "RunSummary.h"
#include "Settings.h"
#include "StopRequest.h"
#include "WaitClock.h"

#include <QSocketNotifier>
#include <memory>

namespace vlboot::cli {

int ExitStatus(RunOutcome outcome, int signal)
{
    switch (outcome) {
    case RunOutcome::Success: return ExitCodes::Success;
    case RunOutcome::Timeout: return ExitCodes::Timeout;
    case RunOutcome::Stopped: return platform::ExitStatusOfSignal(signal);
    case RunOutcome::Fault: break;
    }
    return ExitCodes::Fault;
}

int RunProgramming(const CliOptions& options, const QString& configDir, const CliOutput& output, bool stderrIsTerminal,
                   int stopSignalFd)
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

    // A stop signal stops the run at its next reply wait; a fixture's
    // serial-number step runs to its end first.
    StopRequest stop;
    if (platform::StopSignalReceived())
        stop.Request();
    std::unique_ptr<QSocketNotifier> stopWatch;
    if (stopSignalFd >= 0) {
        stopWatch = std::make_unique<QSocketNotifier>(stopSignalFd, QSocketNotifier::Read);
        QObject::connect(stopWatch.get(), &QSocketNotifier::activated, [&stop, &view] {
            platform::DrainStopSignals();
            stop.Request();
            if (stop.Shielded())
                view.Notice(QStringLiteral("vlboot-cli: the run stops once the fixture's serial number is stored"));
        });
    }

    ComForm link(configDir, PortResolverFor(options));
    link.ShowMessage = [&view, &link](const QString& title, const QString& text) {
        view.ShowMessage(title, text);
        const ComForm::OpenError& error = link.LastOpenError();
        if (error.Number != 0)
            view.SetPortHint(OpenFailureHint(error, ProbePortAccess(error.DevicePath)));
    };
    if (startup.log)
        link.Log.SetLogging(true);
    link.WriteTimeout = options.replyTimeout;

    Bootloader device(link, settings, clock);
    device.ReplyTimeout = options.replyTimeout;
    device.SetStopRequest(&stop);
    ProgrammingRun run(device, settings, view, stop);
    {
        // The port is the run's from its first frame until the run ends
        // (a stop signal ends it at its next reply wait).
        ComForm::RunHold hold(link);
        run.ProgramModule(startup.firmwareFile);
        link.CloseMScomm();
    }

    RunResult result;
    const int signal = platform::StopSignalReceived();
    result.status = ExitStatus(run.Outcome(), signal);
    if (run.Outcome() == RunOutcome::Stopped) {
        result.why = QStringLiteral("stopped by %1 %2").arg(platform::SignalName(signal), run.StopReport());
        view.Notice(QStringLiteral("vlboot-cli: ") + result.why);
    } else if (result.status != ExitCodes::Success) {
        result.why = view.Why();
    } else if (options.strict && !view.Warnings().isEmpty()) {
        result.status = ExitCodes::Fault;
        result.why = QStringLiteral("--strict: ") + view.Warnings().join(QStringLiteral("; "));
        view.Notice(QStringLiteral("vlboot-cli: --strict: the warnings above make this run a fault"));
    }
    result.warnings = view.Warnings();
    result.serialNumber = run.SerialNumber();
    result.exchanges = static_cast<int>(device.RoundTrips().size());
    result.medianRttMs = MedianMilliseconds(device.RoundTrips());
    result.wallSeconds = clock.Now() - start;
    view.Finish(result);
    return result.status;
}

} // namespace vlboot::cli
