#include "RecordOfRun.h"

#include "ComForm.h"
#include "DeviceProtocol.h"
#include "ProgrammingSession.h"
#include "Version.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

namespace vlboot {

QString DeviceKindName(std::uint8_t deviceType)
{
    switch (deviceType) {
    case DeviceTypes::Fixture: return QStringLiteral("fixture");
    case DeviceTypes::Amplifier: return QStringLiteral("amplifier");
    default: return QString();
    }
}

RunRecord RecordOfRun(const ProgrammingSession& session, const QString& program, const QString& namedDevice,
                      const QString& reason)
{
    const ProgrammingSession::LastRun& last = session.Last();
    const Settings& settings = session.settings();
    RunRecord r;
    r.time = QDateTime::currentDateTime();
    r.host = QSysInfo::machineHostName();
    r.program = program;
    r.version = QString::fromLatin1(VersionText);
    if (namedDevice.isEmpty())
        r.comPort = QStringLiteral("COM%1").arg(settings.ComPort);
    r.devicePath = !namedDevice.isEmpty() ? namedDevice
        : session.SerialPort()           ? session.SerialPort()->DevicePath()
                                         : QString();
    r.baud = settings.ComSpeed < BaudRates.size() ? BaudRates.at(settings.ComSpeed) : 0;
    r.address = settings.DevAdr;
    r.deviceKind = DeviceKindName(last.deviceType);
    r.firmwarePath = last.fileName.isEmpty() ? QString() : QFileInfo(last.fileName).absoluteFilePath();
    r.firmwareSize = last.check.size;
    r.firmwareSha256 = last.check.sha256;
    if (const auto number = session.SerialNumber())
        r.serialNumber = *number;
    r.caption = last.outcome == RunOutcome::Stopped ? QStringLiteral("stopped") : last.caption;
    r.failedStep = last.failedStep;
    if (!reason.isEmpty())
        r.reason = reason;
    else if (last.outcome == RunOutcome::Stopped)
        r.reason = QStringLiteral("stopped ") + session.StopReport();
    else if (last.outcome != RunOutcome::Success)
        r.reason = last.why;
    r.exchanges = static_cast<int>(session.RoundTrips().size());
    r.seconds = last.seconds;
    return r;
}

RunRecord RecordOfLostRun(const QString& program, const QString& port, const QString& firmwareFile,
                          const FirmwareCheckResult& check, const QString& caption, const QString& reason, double seconds)
{
    RunRecord r;
    r.time = QDateTime::currentDateTime();
    r.host = QSysInfo::machineHostName();
    r.program = program;
    r.version = QString::fromLatin1(VersionText);
    (port.startsWith(QLatin1String("COM")) ? r.comPort : r.devicePath) = port;
    r.firmwarePath = QFileInfo(firmwareFile).absoluteFilePath();
    r.firmwareSize = check.size;
    r.firmwareSha256 = check.sha256;
    r.caption = caption;
    r.failedStep = QStringLiteral("unknown");
    r.reason = reason;
    r.seconds = seconds;
    return r;
}

} // namespace vlboot
