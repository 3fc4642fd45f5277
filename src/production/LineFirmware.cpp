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

Outcome LineFirmwareUsable(const LineFirmware& firmware)
{
    if (!firmware.check.ok)
        return Outcome::Failed(firmware.check.why);
    if (!firmware.Matches())
        return Outcome::Failed(PinnedFirmwareMismatch(firmware.file, firmware.check.sha256, firmware.pinned));
    return Outcome::Ok();
}

Result<LineFirmware> CheckLineFirmware(const QString& file, const QByteArray& pinned)
{
    LineFirmware firmware = ExamineLineFirmware(file, pinned);
    if (Outcome usable = LineFirmwareUsable(firmware); !usable)
        return usable;
    return firmware;
}

} // namespace vlboot
