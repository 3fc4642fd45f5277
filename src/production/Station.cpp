#include "Station.h"

#include "DeviceProtocol.h"
#include "ExitStatus.h"
#include "Link.h"
#include "Platform.h"
#include "PortHint.h"
#include "ProductionDatabase.h"
#include "RecordStore.h"
#include "SerialNumber.h"
#include "UnitRecord.h"
#include "WaitClock.h"

#include <algorithm>

namespace vlboot {
namespace {

// The device named on the command line stands for whatever port number
// the settings hold; without one, COMn is looked up in setup.ini's [Ports].
std::function<QString(int)> resolverOf(const QString& device)
{
    if (device.isEmpty())
        return {};
    return [device](int) { return device; };
}

std::optional<double> medianMilliseconds(std::vector<double> seconds)
{
    if (seconds.empty())
        return std::nullopt;
    std::sort(seconds.begin(), seconds.end());
    const std::size_t n = seconds.size();
    return 1000.0 * (n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2);
}

int statusOf(RunOutcome outcome, int signal)
{
    switch (outcome) {
    case RunOutcome::Success: return ExitStatus::Success;
    case RunOutcome::Timeout: return ExitStatus::Timeout;
    case RunOutcome::Stopped: return signal > 0 ? ExitStatus::SignalBase + signal : ExitStatus::Fault;
    case RunOutcome::Fault: break;
    }
    return ExitStatus::Fault;
}

} // namespace

Station::Station(StationSetup setup)
    : setup_(std::move(setup))
    , session_(setup_.configDir, resolverOf(setup_.device))
{
}

Station::Station(StationSetup setup, std::unique_ptr<Link> link, std::unique_ptr<WaitClock> clock)
    : setup_(std::move(setup))
    , session_(setup_.configDir, std::move(link), std::move(clock))
{
}

Station::~Station()
{
    link().ShowMessage = nullptr;
}

void Station::StartUp()
{
    startup_ = session_.ReadStartup();
    Settings& s = session_.settings();
    if (!s.Ini.Readable())
        startupNotes_ << s.Ini.WhyUnreadable() + QStringLiteral(": the settings' defaults are used, and no setting is stored");
    if (setup_.comPort)
        s.ComPort = static_cast<std::uint8_t>(*setup_.comPort);
    if (setup_.speedIndex)
        s.ComSpeed = *setup_.speedIndex;
    if (setup_.address)
        s.DevAdr = *setup_.address;
    if (setup_.replyTimeout)
        session_.protocol().ReplyTimeout = *setup_.replyTimeout;
    if (setup_.log)
        link().SetLogging(true);
    production_ = ReadProductionSetup(s.Ini);
    database_ = setup_.database.value_or(production_.database);
    session_.SetPinnedFirmware(setup_.expectSha256.isEmpty() ? production_.firmwareSha256 : setup_.expectSha256);
    if (database_.trimmed().isEmpty())
        session_.SetSerialNumberSource(std::make_unique<SettingsSerialNumbers>(s.Ini, setup_.oneNumberEach));
    serialDatabase_ = UseProductionDatabase(session_, database_);
}

QString Station::FirmwareFile(const QString& given) const
{
    return given.isEmpty() ? startup_.firmwareFile : given;
}

UnitResult Station::Program(const QString& fileName, StationView& view)
{
    portHint_.clear();
    stopBy_.clear();
    link().ShowMessage = [this, &view](const QString& title, const QString& text) {
        view.ShowMessage(title, text);
        const OpenFailure failure = link().LastOpenFailure();
        if (failure.number != 0)
            portHint_ = OpenFailureHint(failure, ProbePortAccess(failure.devicePath));
    };
    const RunReport& run = session_.Program(fileName, view);
    link().ShowMessage = nullptr;
    const UnitResult result = finish(run);
    if ((run.outcome == RunOutcome::Fault || run.outcome == RunOutcome::Timeout) && result.outcome != RunOutcome::Stopped) {
        view.ExplainFailure(result.why);
        view.ShowFailureBox();
    }
    view.Finish(result);
    return result;
}

void Station::RequestStop(const QString& by, int signal)
{
    if (stopBy_.isEmpty()) {
        stopBy_ = by;
        stopSignal_ = signal;
    }
    session_.RequestStop();
}

QString Station::reasonOf(const RunReport& run, RunOutcome outcome) const
{
    switch (outcome) {
    case RunOutcome::Success: return {};
    case RunOutcome::Stopped:
        return QStringLiteral("stopped by %1 %2").arg(stopBy_.isEmpty() ? QStringLiteral("a stop request") : stopBy_, run.StopReport());
    default:
        return portHint_.isEmpty() ? run.why : run.why + QStringLiteral("; ") + portHint_;
    }
}

UnitResult Station::finish(const RunReport& run)
{
    UnitResult r;
    r.outcome = run.outcome;
    // A stop signal that ended the wait for the production database (no
    // event loop runs there to pass it on) stops the run like any other.
    if (run.outcome == RunOutcome::Fault && serialDatabase_ && serialDatabase_->StoppedWaiting()
        && platform::StopSignalReceived()) {
        r.outcome = RunOutcome::Stopped;
        if (stopBy_.isEmpty()) {
            stopSignal_ = platform::StopSignalReceived();
            stopBy_ = platform::SignalName(stopSignal_);
        }
    }
    r.why = reasonOf(run, r.outcome);
    if (run.outcome == RunOutcome::Success && setup_.strict && !run.warnings.isEmpty()) {
        r.outcome = RunOutcome::Fault;
        r.strictFault = true;
        r.why = QStringLiteral("--strict: ") + run.warnings.join(QStringLiteral("; "));
    }
    r.status = statusOf(r.outcome, stopSignal_);
    r.warnings = run.warnings;
    r.serialNumber = run.serial.number;
    r.deviceKind = DeviceKindName(run.deviceType);
    r.exchanges = static_cast<int>(run.roundTrips.size());
    r.medianRttMs = medianMilliseconds(run.roundTrips);
    r.seconds = run.seconds;

    const Settings& s = session_.settings();
    UnitPlace place;
    place.program = setup_.program;
    place.comPort = setup_.device.isEmpty() ? QStringLiteral("COM%1").arg(s.ComPort) : QString();
    place.devicePath = setup_.device.isEmpty() ? session_.link().DevicePathOf(s.ComPort) : setup_.device;
    place.baud = s.ComSpeed < BaudRates.size() ? BaudRates.at(s.ComSpeed) : 0;
    place.address = s.DevAdr;
    RunRecord record = RecordOfRun(run, place, r.why);
    record.outcome = OutcomeName(r.outcome);
    r.kept = KeepRecord(setup_.configDir, setup_.recordFile, database_, record);
    return r;
}

} // namespace vlboot
