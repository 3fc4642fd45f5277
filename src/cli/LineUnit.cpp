#include "LineUnit.h"

#include "PortProbe.h"
#include "Settings.h"

#include <QFileInfo>

namespace vlboot::cli {

void LineUnit::Apply(const CliEvent& e, double now)
{
    switch (e.kind) {
    case CliEvent::Kind::Caption: caption = e.text; break;
    case CliEvent::Kind::Device: kind = e.text; break;
    case CliEvent::Kind::SerialNumber: serial = e.number; break;
    case CliEvent::Kind::Progress:
        percent = e.percent;
        bytes = e.bytes;
        total = e.total;
        exchanges = e.exchanges;
        if (!rateStart) {
            rateStart = now;
            rateStartBytes = bytes;
        }
        break;
    case CliEvent::Kind::Result:
        ended = true;
        endTime = now;
        status = e.result.status;
        why = e.result.why;
        serial = e.result.serialNumber;
        if (!e.result.deviceKind.isEmpty())
            kind = e.result.deviceKind;
        exchanges = e.result.exchanges;
        seconds = e.result.wallSeconds;
        if (OutcomeName(status) == QLatin1String("stopped"))
            caption = QStringLiteral("stopped"); // its live line's last word
        break;
    default: break;
    }
}

QStringList UnitArguments(const CliOptions& options, const QString& configDir)
{
    QStringList args{QStringLiteral("--config-dir"), configDir, QStringLiteral("--json"), QStringLiteral("--quiet"),
                     QStringLiteral("--one-number-each"), QStringLiteral("--reply-timeout"), QString::number(options.replyTimeout)};
    if (options.speedIndex)
        args << QStringLiteral("--speed") << QString::number(BaudRates.at(*options.speedIndex));
    if (options.address)
        args << QStringLiteral("--address") << *options.address;
    if (options.log)
        args << QStringLiteral("--log");
    if (options.strict)
        args << QStringLiteral("--strict");
    if (!options.recordFile.isEmpty())
        args << QStringLiteral("--record") << QFileInfo(options.recordFile).absoluteFilePath();
    if (options.database)
        args << QStringLiteral("--database") << *options.database;
    return args;
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
