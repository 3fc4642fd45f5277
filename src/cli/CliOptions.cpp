#include "CliOptions.h"
#include "DeviceProtocol.h"
#include "Settings.h"

#include "NumberText.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <cmath>

namespace vlboot::cli {
namespace {

struct Options {
    QCommandLineOption configDir{QStringLiteral("config-dir"), QString(), QStringLiteral("DIR")};
    QCommandLineOption port{QStringLiteral("port"), QString(), QStringLiteral("PORT")};
    QCommandLineOption speed{QStringLiteral("speed"), QString(), QStringLiteral("BAUD")};
    QCommandLineOption address{QStringLiteral("address"), QString(), QStringLiteral("A")};
    QCommandLineOption replyTimeout{QStringLiteral("reply-timeout"), QString(), QStringLiteral("SECONDS")};
    QCommandLineOption log{QStringLiteral("log")};
    QCommandLineOption quiet{QStringLiteral("quiet")};
    QCommandLineOption json{QStringLiteral("json")};
    QCommandLineOption strict{QStringLiteral("strict")};
    QCommandLineOption oneNumberEach{QStringLiteral("one-number-each")};
    QCommandLineOption expectSha256{QStringLiteral("expect-sha256"), QString(), QStringLiteral("HEX")};
    QCommandLineOption watch{QStringLiteral("watch")};
    QCommandLineOption http{QStringLiteral("http"), QString(), QStringLiteral("ADDRESS:PORT")};
    QCommandLineOption listPorts{QStringLiteral("list-ports")};
    QCommandLineOption probe{QStringLiteral("probe")};
    QCommandLineOption check{QStringLiteral("check")};
    QCommandLineOption record{QStringLiteral("record"), QString(), QStringLiteral("FILE")};
    QCommandLineOption database{QStringLiteral("database"), QString(), QStringLiteral("URL")};
    QCommandLineOption records{QStringLiteral("records")};
    QCommandLineOption since{QStringLiteral("since"), QString(), QStringLiteral("DATE")};
    QCommandLineOption serial{QStringLiteral("serial"), QString(), QStringLiteral("N")};
    QCommandLineOption setNextSerial{QStringLiteral("set-next-serial"), QString(), QStringLiteral("N")};
    QCommandLineOption help{QStringLiteral("help")};
    QCommandLineOption version{QStringLiteral("version")};
};

CliParse refuse(const QString& error)
{
    return {std::nullopt, error};
}

// A whole number written with digits only, from 0 to `highest`.
std::optional<qint64> wholeNumber(const QString& text, qint64 highest)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    if (!digits.match(text).hasMatch() || text.toLongLong() > highest)
        return std::nullopt;
    return text.toLongLong();
}

} // namespace

std::optional<std::uint8_t> ParseSpeedArgument(const QString& text)
{
    // Written exactly, as the help shows them.
    static const QRegularExpression digits(QStringLiteral("^[1-9][0-9]*$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return SpeedIndexOf(text.toDouble());
}

std::optional<double> ParseReplyTimeout(const QString& text)
{
    if (!IsNumeric(text))
        return std::nullopt;
    const double seconds = NumberValue(text);
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > MaxReplyTimeout)
        return std::nullopt;
    return seconds;
}

std::optional<QDateTime> ParseSinceArgument(const QString& text)
{
    // (QDate reads the date at the start of a longer text too.)
    const QDate date = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
    const QDateTime time = date.isValid() ? date.startOfDay() : QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

bool IsValidAddress(const QString& text)
{
    // A plain number on the command line; the range is the protocol's.
    return IsNumeric(text) && DeviceProtocol::NetworkAddress(text).has_value();
}

namespace {

// Each reads one group of options into `options`: "" when they are good,
// else why the command line is refused.

QString readPorts(const QCommandLineParser& parser, const Options& o, CliOptions& options)
{
    for (const QString& value : parser.values(o.port)) {
        if (value == QLatin1String("auto")) {
            options.autoPorts = true;
            continue;
        }
        const auto port = ParsePortArgument(value);
        if (!port)
            return QStringLiteral("--port '%1' is not 1..16, COM1..COM16, a device path such as /dev/ttyUSB0, or auto.").arg(value);
        const QString name = port->number ? QStringLiteral("COM%1").arg(*port->number) : port->devicePath;
        if (options.ports.contains(name))
            return QStringLiteral("--port %1 is given more than once.").arg(name);
        options.ports << name;
        options.comPort = port->number;
        options.portDevice = port->devicePath;
    }
    if (options.autoPorts && !options.ports.isEmpty())
        return QStringLiteral("--port auto finds the ports itself; name no other port with it.");
    if (options.autoPorts && options.listPorts)
        return QStringLiteral("--port auto programs the ports where a device answers; --list-ports --probe only shows them.");
    if (options.check && (!options.ports.isEmpty() || options.autoPorts || options.listPorts))
        return QStringLiteral("--check touches no port; name none with it.");
    if (options.watch && options.ports.isEmpty() && !options.autoPorts)
        return QStringLiteral("--watch watches the ports named with --port (or every port with --port auto): name them.");
    if (options.watch && (options.listPorts || options.check))
        return QStringLiteral("--watch programs units as they are placed; it goes with neither --list-ports nor --check.");
    if (!options.http.isEmpty() && !options.watch)
        return QStringLiteral("--http serves a watching station: it goes with --watch.");
    return {};
}

QString readLine(const QCommandLineParser& parser, const Options& o, CliOptions& options)
{
    if (parser.isSet(o.speed)) {
        options.speedIndex = ParseSpeedArgument(parser.value(o.speed));
        if (!options.speedIndex)
            return QStringLiteral("--speed '%1' is not 9600, 57600 or 115200.").arg(parser.value(o.speed));
    }
    if (parser.isSet(o.address)) {
        if (!IsValidAddress(parser.value(o.address)))
            return QStringLiteral("--address '%1' is not a whole number from 0 to %2.").arg(parser.value(o.address)).arg(DeviceProtocol::HighestAddress);
        options.address = parser.value(o.address).trimmed();
    }
    if (parser.isSet(o.replyTimeout)) {
        const auto seconds = ParseReplyTimeout(parser.value(o.replyTimeout));
        if (!seconds)
            return QStringLiteral("--reply-timeout '%1' is not a number of seconds above 0 and at most %2.")
                .arg(parser.value(o.replyTimeout))
                .arg(MaxReplyTimeout);
        options.replyTimeout = *seconds;
    }
    return {};
}

QString readDatabase(const QCommandLineParser& parser, const Options& o, CliOptions& options)
{
    if (parser.isSet(o.database))
        options.database = parser.value(o.database);
    options.records = parser.isSet(o.records);
    if (parser.isSet(o.since)) {
        options.since = ParseSinceArgument(parser.value(o.since));
        if (!options.since)
            return QStringLiteral("--since '%1' is not a date (YYYY-MM-DD) or an ISO 8601 date and time.").arg(parser.value(o.since));
    }
    if (parser.isSet(o.serial)) {
        options.serial = wholeNumber(parser.value(o.serial), 4294967295LL);
        if (!options.serial)
            return QStringLiteral("--serial '%1' is not a serial number.").arg(parser.value(o.serial));
    }
    if ((options.since || options.serial) && !options.records)
        return QStringLiteral("--since and --serial choose records: they go with --records.");
    if (parser.isSet(o.setNextSerial)) {
        const auto next = wholeNumber(parser.value(o.setNextSerial), 2147483647);
        if (!next)
            return QStringLiteral("--set-next-serial '%1' is not a whole number from 0 to 2147483647.").arg(parser.value(o.setNextSerial));
        options.setNextSerial = static_cast<std::int32_t>(*next);
    }
    if (options.records && options.setNextSerial)
        return QStringLiteral("--records and --set-next-serial cannot be given together.");
    return {};
}

QString readFile(const QCommandLineParser& parser, CliOptions& options)
{
    const QStringList files = parser.positionalArguments();
    if (options.watch && (options.records || options.setNextSerial))
        return QStringLiteral("--watch programs units; --records and --set-next-serial do not go with it.");
    if (!files.isEmpty() && (options.records || options.setNextSerial))
        return QStringLiteral("--records and --set-next-serial program nothing: no firmware file goes with them.");
    if (!files.isEmpty() && options.listPorts)
        return QStringLiteral("--list-ports lists the ports: no firmware file goes with it.");
    if (files.size() > 1)
        return QStringLiteral("Only one firmware file can be programmed per run (got '%1' and '%2').").arg(files.at(0), files.at(1));
    if (!files.isEmpty()) {
        if (files.constFirst().isEmpty())
            return QStringLiteral("The firmware file name is empty.");
        options.firmwareFile = files.constFirst();
    }
    if (options.check && options.firmwareFile.isEmpty() && !options.help && !options.version)
        return QStringLiteral("--check needs the firmware file to check.");
    return {};
}

QString readSwitches(const QCommandLineParser& parser, const Options& o, CliOptions& options)
{
    options.log = parser.isSet(o.log);
    options.quiet = parser.isSet(o.quiet);
    options.json = parser.isSet(o.json);
    options.strict = parser.isSet(o.strict);
    options.oneNumberEach = parser.isSet(o.oneNumberEach);
    options.watch = parser.isSet(o.watch);
    options.http = parser.value(o.http);
    if (parser.isSet(o.http) && options.http.trimmed().isEmpty())
        return QStringLiteral("The address after --http is empty.");
    options.listPorts = parser.isSet(o.listPorts);
    options.probe = parser.isSet(o.probe);
    options.check = parser.isSet(o.check);
    options.help = parser.isSet(o.help);
    options.version = parser.isSet(o.version);
    if (options.probe && !options.listPorts)
        return QStringLiteral("--probe goes with --list-ports.");
    if (parser.isSet(o.record)) {
        options.recordFile = parser.value(o.record);
        if (options.recordFile.isEmpty())
            return QStringLiteral("The file after --record is empty.");
    }
    if (parser.isSet(o.expectSha256)) {
        static const QRegularExpression sha256(QStringLiteral("^[0-9a-fA-F]{64}$"));
        if (!sha256.match(parser.value(o.expectSha256)).hasMatch())
            return QStringLiteral("--expect-sha256 '%1' is not a SHA-256 (64 hexadecimal digits).").arg(parser.value(o.expectSha256));
        options.expectSha256 = parser.value(o.expectSha256).toLower().toLatin1();
    }
    if (parser.isSet(o.configDir)) {
        options.configDir = parser.value(o.configDir);
        if (options.configDir.isEmpty())
            return QStringLiteral("The folder after --config-dir is empty.");
    }
    return {};
}

} // namespace

CliParse ParseCliOptions(const QStringList& args)
{
    Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({o.configDir, o.port, o.speed, o.address, o.replyTimeout, o.log, o.quiet, o.json,
                       o.strict, o.oneNumberEach, o.expectSha256, o.watch, o.http, o.listPorts, o.probe, o.check, o.record, o.database, o.records, o.since, o.serial,
                       o.setNextSerial, o.help, o.version});
    if (!parser.parse(QStringList{QStringLiteral("vlboot-cli")} + args))
        return refuse(parser.errorText());
    for (const QCommandLineOption* single : {&o.configDir, &o.speed, &o.address, &o.replyTimeout, &o.record, &o.database, &o.expectSha256, &o.http,
                                               &o.since, &o.serial, &o.setNextSerial}) {
        if (parser.values(*single).size() > 1)
            return refuse(QStringLiteral("--%1 is given more than once.").arg(single->names().constFirst()));
    }
    CliOptions options;
    for (const QString& why : {readSwitches(parser, o, options), readPorts(parser, o, options), readLine(parser, o, options),
                               readDatabase(parser, o, options), readFile(parser, options)}) {
        if (!why.isEmpty())
            return refuse(why);
    }
    return {options, {}};
}

} // namespace vlboot::cli
