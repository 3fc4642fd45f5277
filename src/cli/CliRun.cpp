#include "CliRun.h"

#include "Link.h"
#include "Platform.h"
#include "SettingsLock.h"
#include "WaitClock.h"

#include <QScopeGuard>
#include <QSocketNotifier>
#include <memory>

namespace vlboot::cli {

StationSetup CliStationSetup(const CliOptions& options, const QString& configDir)
{
    StationSetup setup(configDir, QStringLiteral("vlboot-cli"));
    setup.device = options.portDevice;
    setup.comPort = options.comPort;
    setup.speedIndex = options.speedIndex;
    setup.address = options.address;
    setup.replyTimeout = options.replyTimeout;
    setup.database = options.database;
    setup.recordFile = options.recordFile;
    setup.strict = options.strict;
    setup.log = options.log;
    setup.expectSha256 = options.expectSha256;
    // A production line's units each need a number of their own.
    setup.oneNumberEach = options.oneNumberEach || options.ports.size() > 1 || options.autoPorts;
    return setup;
}

int RunProgramming(const CliOptions& options, const QString& configDir, const CliOutput& output, bool stderrIsTerminal,
                   int stopSignalFd)
{
    Station station(CliStationSetup(options, configDir));
    WaitClock& clock = station.Session().clock();
    const double start = clock.Now();
    CliView::Mode mode;
    mode.json = options.json;
    mode.quiet = options.quiet;
    mode.progressBar = stderrIsTerminal && !options.quiet;
    CliView view(mode, output, [&clock] { return clock.Now(); }, [&station] { return station.Session().Exchanges(); });
    view.SetWallClockStart(start);
    // A settings lock that keeps the run waiting, or cannot be one, is said
    // at once; the traffic log's missing lines at the end.
    SettingsLock::SetNotice([&view](const QString& text) { view.Notice(QStringLiteral("vlboot-cli: ") + text); });
    const auto noNotice = qScopeGuard([] { SettingsLock::SetNotice({}); });
    view.SetOutputCheck([&station] { return station.link().LogFailure(); });

    station.StartUp();
    for (const QString& note : station.StartupNotes())
        view.Notice(QStringLiteral("vlboot-cli: ") + note);
    if (station.Startup().debug)
        station.link().SetLogging(true);

    // A stop signal stops the run at its next reply wait; a fixture's
    // serial-number step runs to its end first.
    const auto stop = [&station, &view] {
        const int signal = platform::StopSignalReceived();
        station.RequestStop(platform::SignalName(signal), signal);
        if (station.StopShielded())
            view.Notice(QStringLiteral("vlboot-cli: the run stops once the fixture's serial number is stored"));
    };
    if (platform::StopSignalReceived())
        stop();
    std::unique_ptr<QSocketNotifier> stopWatch;
    if (stopSignalFd >= 0) {
        stopWatch = std::make_unique<QSocketNotifier>(stopSignalFd, QSocketNotifier::Read);
        QObject::connect(stopWatch.get(), &QSocketNotifier::activated, [stop] {
            platform::DrainStopSignals();
            stop();
        });
    }
    station.Program(station.FirmwareFile(options.firmwareFile), view);
    return view.Status();
}

} // namespace vlboot::cli
