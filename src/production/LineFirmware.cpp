#include "LineFirmware.h"

#include "RunTexts.h"
#include "Settings.h"

#include <QFileInfo>

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

} // namespace vlboot
