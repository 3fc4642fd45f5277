#include "LineFirmware.h"

#include "PortNames.h"
#include "RunTexts.h"
#include "Settings.h"

#include <QFileInfo>
#include <QMap>

namespace vlboot {

QString LineFirmwareFile(const QString& configDir, const QString& productionFile)
{
    return productionFile.isEmpty() ? Settings(configDir).ReadFirmwareFile() : productionFile;
}

LineFirmware ExamineLineFirmware(const QString& file, const QByteArray& pinned)
{
    LineFirmware firmware;
    firmware.check = CheckFirmwareFile(file);
    firmware.file = QFileInfo(file).absoluteFilePath();
    firmware.pinned = pinned;
    return firmware;
}

Result<LineFirmware> CheckLineFirmware(const QString& file, const QByteArray& pinned)
{
    LineFirmware firmware = ExamineLineFirmware(file, pinned);
    if (!firmware.check.ok)
        return Outcome::Failed(firmware.check.why);
    if (!firmware.Matches())
        return Outcome::Failed(PinnedFirmwareMismatch(file, firmware.check.sha256, pinned));
    return firmware;
}

QString SameDeviceTwice(const QStringList& ports, const IniFileHandler& ini)
{
    QMap<QString, QString> seen; // device -> the port name that named it
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

} // namespace vlboot
