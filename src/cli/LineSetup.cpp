#include "LineSetup.h"

#include "DatabaseCommands.h"
#include "PortProbe.h"
#include "SerialNumber.h"
#include "Settings.h"


namespace vlboot::cli {

Result<LineFirmware> CheckLineFirmware(const CliOptions& options, const QString& configDir, const ProductionSetup& production)
{
    const QString file = options.firmwareFile.isEmpty() ? LineFirmwareFile(configDir, production.firmwareFile) : options.firmwareFile;
    return vlboot::CheckLineFirmware(file, options.expectSha256.isEmpty() ? production.firmwareSha256 : options.expectSha256);
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
