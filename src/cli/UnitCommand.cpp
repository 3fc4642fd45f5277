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
    UnitCommand command = UnitCommandFor(QCoreApplication::applicationFilePath(), configDir, file, check);
    QStringList& args = command.arguments;
    args << QStringLiteral("--reply-timeout") << QString::number(options.replyTimeout);
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
    command.recordFile = options.recordFile;
    command.database = DatabaseConnection(options, configDir);
    return command;
}

UnitPlace UnitPlaceOf(const CliOptions& options, const QString& configDir, const QString& port)
{
    const IniFileHandler ini(SettingsFilePath(configDir));
    return PlaceOfPort(port, ini, ProbeLineOf(options, ini), QStringLiteral("vlboot-cli"));
}

} // namespace vlboot::cli
