#include "CliRun.h"

#include "ComForm.h"
#include "DatabaseCommands.h"
#include "DeviceProtocol.h"
#include "FailureHint.h"
#include "Platform.h"
#include "ProductionSetup.h"
#include "ProgrammingSession.h"
#include "RecordOfRun.h"
#include "RecordStore.h"
#include "RunSummary.h"
#include "WaitClock.h"

#include <QSocketNotifier>
#include <memory>

namespace vlboot::cli {
namespace {

// The device given with --port for whatever port number the settings hold,
// or none (COMn is then looked up in setup.ini's [Ports] map).
std::function<QString(int)> portResolver(const CliOptions& options)
{
    if (options.portDevice.isEmpty())
        return {};
    return [device = options.portDevice](int) { return device; };
}

} // namespace

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
    ProgrammingSession session(configDir, portResolver(options));
    const double start = session.clock().Now();

    // The window's start-up reading; then the command line's overrides, for
    // this run only (nothing of them reaches setup.ini).
    const ProgrammingSession::Startup startup = session.ReadStartup();
    Settings& settings = session.settings();
    if (options.comPort)
        settings.ComPort = static_cast<std::uint8_t>(*options.comPort);
    if (options.speedIndex)
        settings.ComSpeed = *options.speedIndex;
    if (options.address)
        settings.DevAdr = *options.address;
    session.protocol().ReplyTimeout = options.replyTimeout;
    // The production database, when one is set: serial numbers from its
    // counter, the run's record into its table as well.
    const QString database = DatabaseConnection(options, configDir);
    UseProductionDatabase(session, database);

    CliView::Mode mode;
    mode.json = options.json;
    mode.quiet = options.quiet;
    mode.progressBar = stderrIsTerminal && !options.quiet;
    CliView view(mode, output, [&session] { return session.clock().Now(); });

    // A stop signal stops the run at its next reply wait; a fixture's
    // serial-number step runs to its end first.
    if (platform::StopSignalReceived())
        session.RequestStop();
    std::unique_ptr<QSocketNotifier> stopWatch;
    if (stopSignalFd >= 0) {
        stopWatch = std::make_unique<QSocketNotifier>(stopSignalFd, QSocketNotifier::Read);
        QObject::connect(stopWatch.get(), &QSocketNotifier::activated, [&session, &view] {
            platform::DrainStopSignals();
            session.RequestStop();
            if (session.Stop().Shielded())
                view.Notice(QStringLiteral("vlboot-cli: the run stops once the fixture's serial number is stored"));
        });
    }

    ComForm& port = *session.SerialPort();
    port.ShowMessage = [&view, &port](const QString& title, const QString& text) {
        view.ShowMessage(title, text);
        const ComForm::OpenError& error = port.LastOpenError();
        if (error.number != 0)
            view.SetPortHint(OpenFailureHint(error, ProbePortAccess(error.devicePath)));
    };
    if (startup.debug || options.log)
        port.Log.SetLogging(true);

    const QString file = options.firmwareFile.isEmpty() ? startup.firmwareFile : options.firmwareFile;
    const RunOutcome outcome = session.Program(file, view);

    RunResult result;
    const int signal = platform::StopSignalReceived();
    result.status = ExitStatus(outcome, signal);
    if (outcome == RunOutcome::Stopped) {
        result.why = QStringLiteral("stopped by %1 %2").arg(platform::SignalName(signal), session.StopReport());
        view.Notice(QStringLiteral("vlboot-cli: ") + result.why);
    } else if (result.status != ExitCodes::Success) {
        result.why = view.Why();
    } else if (options.strict && !view.Warnings().isEmpty()) {
        result.status = ExitCodes::Fault;
        result.why = QStringLiteral("--strict: ") + view.Warnings().join(QStringLiteral("; "));
        view.Notice(QStringLiteral("vlboot-cli: --strict: the warnings above make this run a fault"));
    }
    result.warnings = view.Warnings();
    result.serialNumber = session.SerialNumber();
    result.exchanges = static_cast<int>(session.RoundTrips().size());
    result.medianRttMs = MedianMilliseconds(session.RoundTrips());
    result.wallSeconds = session.clock().Now() - start;
    // The unit's record is kept before the run reports its end; one that
    // cannot be kept is said, and changes nothing else.
    // (A record that waits to be sent to the production database is kept:
    // it is said, but is no record error.)
    const RunRecord record = RecordOfRun(session, QStringLiteral("vlboot-cli"), options.portDevice, result.why);
    const QString recordNote = KeepRecord(configDir, options.recordFile, database, record, result);
    if (!recordNote.isEmpty())
        view.Notice(QStringLiteral("vlboot-cli: ") + recordNote);
    view.Finish(result);
    return result.status;
}

QString KeepRecord(const QString& configDir, const QString& recordFile, const QString& database, const RunRecord& record,
                   RunResult& result)
{
    QString note;
    if (!OpenRecordStore(configDir, recordFile, database)->Append(record, note))
        result.recordError = note;
    return note;
}

} // namespace vlboot::cli
