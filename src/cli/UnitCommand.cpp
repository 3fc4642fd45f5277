#include "UnitCommand.h"

#include "DatabaseCommands.h"
#include "PortProbe.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace vlboot::cli {

UnitCommand UnitCommandOf(const CliOptions& options, const QString& configDir, const QString& file,
                          const FirmwareCheckResult& check)
{
    UnitCommand command;
    command.program = QCoreApplication::applicationFilePath();
    QStringList& args = command.arguments;
    args = QStringList{QStringLiteral("--config-dir"), configDir, QStringLiteral("--json"), QStringLiteral("--quiet"),
                       QStringLiteral("--one-number-each"), QStringLiteral("--reply-timeout"), QString::number(options.replyTimeout)};
    if (options.speedIndex)
        args << QStringLiteral("--speed") << QString::number(BaudRates.at(*options.speedIndex));
    if (options.address)
        args << QStringLiteral("--address") << *options.address;
    if (options.log)
        args << QStringLiteral("--log");
    if (options.strict)
        args << QStringLiteral("--strict");
    if (!options.expectSha256.isEmpty())
        args << QStringLiteral("--expect-sha256") << options.expectSha256;
    if (!options.recordFile.isEmpty())
        args << QStringLiteral("--record") << QFileInfo(options.recordFile).absoluteFilePath();
    if (options.database)
        args << QStringLiteral("--database") << *options.database;
    command.firmwareFile = QFileInfo(file).absoluteFilePath();
    command.firmwareSize = check.size;
    command.firmwareSha256 = check.sha256;
    command.configDir = configDir;
    command.recordFile = options.recordFile;
    command.database = DatabaseConnection(options, configDir);
    return command;
}

UnitPlace UnitPlaceOf(const CliOptions& options, const QString& configDir, const QString& port)
{
    const IniFileHandler ini(SettingsFilePath(configDir));
    const Settings::Line line = ProbeLineOf(options, ini);
    UnitPlace place;
    place.program = QStringLiteral("vlboot-cli");
    const auto parsed = ParsePortArgument(port);
    if (parsed && parsed->number)
        place.comPort = QStringLiteral("COM%1").arg(*parsed->number);
    place.devicePath = DeviceOfPort(port, ini);
    place.baud = BaudRates.at(line.speedIndex);
    place.address = line.address;
    return place;
}

} // namespace vlboot::cli
