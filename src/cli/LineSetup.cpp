#include "LineSetup.h"

#include "DatabaseCommands.h"
#include "PortProbe.h"
#include "RunTexts.h"
#include "SerialNumber.h"
#include "Settings.h"

#include <QFileInfo>
#include <QMap>

namespace vlboot::cli {

Result<LineFirmware> CheckLineFirmware(const CliOptions& options, const QString& configDir, const ProductionSetup& production)
{
    LineFirmware firmware;
    firmware.file = options.firmwareFile.isEmpty() ? Settings(configDir).ReadFirmwareFile() : options.firmwareFile;
    firmware.check = CheckFirmwareFile(firmware.file);
    if (!firmware.check.ok)
        return Outcome::Failed(firmware.check.why);
    const QByteArray pinned = options.expectSha256.isEmpty() ? production.firmwareSha256 : options.expectSha256;
    firmware.pinned = !pinned.isEmpty();
    if (firmware.pinned && firmware.check.sha256 != pinned)
        return Outcome::Failed(PinnedFirmwareMismatch(firmware.file, firmware.check.sha256, pinned));
    firmware.file = QFileInfo(firmware.file).absoluteFilePath();
    return firmware;
}

QString SameDeviceTwice(const QStringList& ports, const IniFileHandler& ini)
{
    QMap<QString, QString> seen; // device -> the --port value that named it
    for (const QString& port : ports) {
        const QString device = DeviceOfPort(port, ini);
        const QString real = QFileInfo(device).canonicalFilePath();
        const QString key = real.isEmpty() ? device : real;
        if (seen.contains(key))
            return QStringLiteral("--port %1 and --port %2 are the same device (%3): name it once.").arg(seen.value(key), port, key);
        seen.insert(key, port);
    }
    return {};
}

void WarnOfTheCounter(const CliOptions& options, const QString& configDir, const CliOutput& output)
{
    if (!DatabaseConnection(options, configDir).trimmed().isEmpty())
        return;
    const SerialCounter counter = ReadSerialCounter(IniFileHandler(SettingsFilePath(configDir)));
    if (counter.exhausted)
        output.err(QStringLiteral("vlboot-cli: fixtures will be refused: the Serial setting %1 has reached the highest serial number\n")
                       .arg(counter.stored)
                       .toLocal8Bit());
    else if (!counter.problem.isEmpty())
        output.err(QStringLiteral("vlboot-cli: fixtures will be refused: %1\n").arg(counter.problem).toLocal8Bit());
}

} // namespace vlboot::cli
