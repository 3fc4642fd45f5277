#include "UnitRecord.h"

#include "DeviceProtocol.h"
#include "Version.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

namespace vlboot {
namespace {

RunRecord placed(const UnitPlace& place)
{
    RunRecord r;
    r.time = QDateTime::currentDateTime();
    r.host = QSysInfo::machineHostName();
    r.program = place.program;
    r.version = QString::fromLatin1(VersionText);
    r.comPort = place.comPort;
    r.devicePath = place.devicePath;
    r.baud = place.baud;
    r.address = place.address;
    return r;
}

} // namespace

QString DeviceKindName(std::uint8_t deviceType)
{
    switch (deviceType) {
    case DeviceTypes::Fixture: return QStringLiteral("fixture");
    case DeviceTypes::Amplifier: return QStringLiteral("amplifier");
    default: return QString();
    }
}

QString OutcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Success: return QStringLiteral("done");
    case RunOutcome::Fault: return QStringLiteral("fault");
    case RunOutcome::Timeout: return QStringLiteral("timeout");
    case RunOutcome::Stopped: return QStringLiteral("stopped");
    }
    return {};
}

QString SerialWriteName(const SerialNumberStep& serial)
{
    if (!serial.number)
        return {};
    switch (serial.write) {
    case SerialNumberStep::Write::NotSent: return QStringLiteral("not sent");
    case SerialNumberStep::Write::NoReply: return QStringLiteral("no reply");
    case SerialNumberStep::Write::Refused: return QStringLiteral("refused");
    case SerialNumberStep::Write::Confirmed: return QStringLiteral("confirmed");
    }
    return {};
}

RunRecord RecordOfRun(const RunReport& run, const UnitPlace& place, const QString& reason)
{
    RunRecord r = placed(place);
    r.deviceKind = DeviceKindName(run.deviceType);
    r.firmwarePath = run.fileName.isEmpty() ? QString() : QFileInfo(run.fileName).absoluteFilePath();
    r.firmwareSize = run.check.size;
    r.firmwareSha256 = run.check.sha256;
    if (run.serial.number)
        r.serialNumber = *run.serial.number;
    r.serialWrite = SerialWriteName(run.serial);
    r.outcome = OutcomeName(run.outcome);
    r.caption = run.outcome == RunOutcome::Stopped ? QStringLiteral("stopped") : run.caption;
    r.failedStep = run.outcome == RunOutcome::Success ? QString() : run.step;
    r.reason = reason;
    r.warnings = run.warnings;
    r.exchanges = static_cast<int>(run.roundTrips.size());
    r.seconds = run.seconds;
    return r;
}

RunRecord RecordOfLostUnit(const LostUnit& unit)
{
    RunRecord r = placed(unit.place);
    r.deviceKind = unit.deviceKind;
    r.firmwarePath = QFileInfo(unit.firmwareFile).absoluteFilePath();
    r.firmwareSize = unit.firmwareSize;
    r.firmwareSha256 = unit.firmwareSha256;
    r.serialNumber = unit.serialNumber;
    // A number it said it was given: nothing is known of its write.
    r.serialWrite = unit.serialNumber ? QStringLiteral("unknown") : QString();
    r.outcome = OutcomeName(unit.outcome);
    r.caption = unit.caption;
    r.failedStep = QStringLiteral("unknown");
    r.reason = unit.reason;
    r.exchanges = unit.exchanges;
    r.seconds = unit.seconds;
    return r;
}

} // namespace vlboot
