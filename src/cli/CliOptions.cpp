#include "CliOptions.h"
#include "DeviceProtocol.h"
#include "Settings.h"

#include "NumberText.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <cmath>

namespace vlboot::cli {
namespace {

// 1..16 without a sign, blanks or leading zeros beyond one digit.
std::optional<int> portNumber(const QString& digits)
{
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,2}$"));
    if (!whole.match(digits).hasMatch())
        return std::nullopt;
    const int n = digits.toInt();
    if (n < 1 || n > PortCount)
        return std::nullopt;
    return n;
}

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

std::optional<PortArgument> ParsePortArgument(const QString& text)
{
    if (const auto n = portNumber(text))
        return PortArgument{n, {}};
    if (text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        if (const auto n = portNumber(text.mid(3)))
            return PortArgument{n, {}};
        return std::nullopt; // COM0, COM17, COMx
    }
    if (text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('\\')))
        return PortArgument{std::nullopt, text};
    return std::nullopt;
}

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

CliParse ParseCliOptions(const QStringList& args)
{
    Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({o.configDir, o.port, o.speed, o.address, o.replyTimeout, o.log, o.quiet, o.json,
                       o.strict, o.listPorts, o.probe, o.check, o.record, o.database, o.records, o.since, o.serial,
                       o.setNextSerial, o.help, o.version});
    if (!parser.parse(QStringList{QStringLiteral("vlboot-cli")} + args))
        return refuse(parser.errorText());

    for (const QCommandLineOption* single : {&o.configDir, &o.speed, &o.address, &o.replyTimeout, &o.record, &o.database,
                                               &o.since, &o.serial, &o.setNextSerial}) {
        if (parser.values(*single).size() > 1)
            return refuse(QStringLiteral("--%1 is given more than once.").arg(single->names().constFirst()));
    }

    CliOptions options;
    options.log = parser.isSet(o.log);
    options.quiet = parser.isSet(o.quiet);
    options.json = parser.isSet(o.json);
    options.strict = parser.isSet(o.strict);
    options.listPorts = parser.isSet(o.listPorts);
    options.probe = parser.isSet(o.probe);
    options.check = parser.isSet(o.check);
    if (options.probe && !options.listPorts)
        return refuse(QStringLiteral("--probe goes with --list-ports."));
    if (parser.isSet(o.record)) {
        options.recordFile = parser.value(o.record);
        if (options.recordFile.isEmpty())
            return refuse(QStringLiteral("The file after --record is empty."));
    }
    options.help = parser.isSet(o.help);
    options.version = parser.isSet(o.version);

    if (parser.isSet(o.configDir)) {
        options.configDir = parser.value(o.configDir);
        if (options.configDir.isEmpty())
            return refuse(QStringLiteral("The folder after --config-dir is empty."));
    }
    for (const QString& value : parser.values(o.port)) {
        if (value == QLatin1String("auto")) {
            options.autoPorts = true;
            continue;
        }
        const auto port = ParsePortArgument(value);
        if (!port)
            return refuse(QStringLiteral("--port '%1' is not 1..16, COM1..COM16, a device path such as /dev/ttyUSB0, or auto.")
                              .arg(value));
        const QString name = port->number ? QStringLiteral("COM%1").arg(*port->number) : port->devicePath;
        if (options.ports.contains(name))
            return refuse(QStringLiteral("--port %1 is given more than once.").arg(name));
        options.ports << name;
        options.comPort = port->number;
        options.portDevice = port->devicePath;
    }
    if (options.autoPorts && !options.ports.isEmpty())
        return refuse(QStringLiteral("--port auto finds the ports itself; name no other port with it."));
    if (options.autoPorts && options.listPorts)
        return refuse(QStringLiteral("--port auto programs the ports where a device answers; --list-ports --probe only shows them."));
    if (options.check && (!options.ports.isEmpty() || options.autoPorts || options.listPorts))
        return refuse(QStringLiteral("--check touches no port; name none with it."));
    if (parser.isSet(o.speed)) {
        options.speedIndex = ParseSpeedArgument(parser.value(o.speed));
        if (!options.speedIndex)
            return refuse(QStringLiteral("--speed '%1' is not 9600, 57600 or 115200.").arg(parser.value(o.speed)));
    }
    if (parser.isSet(o.address)) {
        if (!IsValidAddress(parser.value(o.address)))
            return refuse(QStringLiteral("--address '%1' is not a whole number from 0 to 65535.").arg(parser.value(o.address)));
        options.address = parser.value(o.address).trimmed();
    }
    if (parser.isSet(o.replyTimeout)) {
        const auto seconds = ParseReplyTimeout(parser.value(o.replyTimeout));
        if (!seconds)
            return refuse(QStringLiteral("--reply-timeout '%1' is not a number of seconds above 0 and at most %2.")
                              .arg(parser.value(o.replyTimeout))
                              .arg(MaxReplyTimeout));
        options.replyTimeout = *seconds;
    }

    if (parser.isSet(o.database))
        options.database = parser.value(o.database);
    options.records = parser.isSet(o.records);
    if (parser.isSet(o.since)) {
        options.since = ParseSinceArgument(parser.value(o.since));
        if (!options.since)
            return refuse(QStringLiteral("--since '%1' is not a date (YYYY-MM-DD) or an ISO 8601 date and time.")
                              .arg(parser.value(o.since)));
    }
    if (parser.isSet(o.serial)) {
        options.serial = wholeNumber(parser.value(o.serial), 4294967295LL);
        if (!options.serial)
            return refuse(QStringLiteral("--serial '%1' is not a serial number.").arg(parser.value(o.serial)));
    }
    if ((options.since || options.serial) && !options.records)
        return refuse(QStringLiteral("--since and --serial choose records: they go with --records."));
    if (parser.isSet(o.setNextSerial)) {
        const auto next = wholeNumber(parser.value(o.setNextSerial), 2147483647);
        if (!next)
            return refuse(QStringLiteral("--set-next-serial '%1' is not a whole number from 0 to 2147483647.")
                              .arg(parser.value(o.setNextSerial)));
        options.setNextSerial = static_cast<std::int32_t>(*next);
    }
    if (options.records && options.setNextSerial)
        return refuse(QStringLiteral("--records and --set-next-serial cannot be given together."));

    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty() && (options.records || options.setNextSerial))
        return refuse(QStringLiteral("--records and --set-next-serial program nothing: no firmware file goes with them."));
    if (files.size() > 1)
        return refuse(QStringLiteral("Only one firmware file can be programmed per run (got '%1' and '%2').")
                          .arg(files.at(0), files.at(1)));
    if (!files.isEmpty()) {
        if (files.constFirst().isEmpty())
            return refuse(QStringLiteral("The firmware file name is empty."));
        options.firmwareFile = files.constFirst();
    }
    if (options.check && options.firmwareFile.isEmpty() && !options.help && !options.version)
        return refuse(QStringLiteral("--check needs the firmware file to check."));
    return {options, {}};
}

QString UsageText()
{
    return QStringLiteral(
        "Usage: vlboot-cli [--config-dir DIR] [--port N|COMn|DEVICE_PATH|auto]... [--speed 9600|57600|115200]\n"
        "                  [--address A] [--reply-timeout SECONDS] [--log] [--quiet] [--json]\n"
        "                  [--strict] [--record FILE] [--list-ports [--probe]] [--check] [--database URL]\n"
        "                  [--records [--since DATE] [--serial N]] [--set-next-serial N] [--help]\n"
        "                  [--version] [FIRMWARE_FILE]\n");
}

QString HelpText()
{
    return UsageText() + QStringLiteral(
        "\n"
        "Programs FIRMWARE_FILE (Intel HEX, *.ldr) into the Velmora module of an amplifier,\n"
        "or into a production fixture, over a serial line, as the Start button of vlboot does.\n"
        "Every status caption is printed on standard output as it is set.\n"
        "\n"
        "Options:\n"
        "  --config-dir DIR        folder of setup.ini and Log.txt, an existing one (default: the\n"
        "                          program's folder; for an installed program\n"
        "                          $XDG_CONFIG_HOME/vlboot, or ~/.config/vlboot, created on first\n"
        "                          use); missing settings are written there with their defaults\n"
        "  --port N|COMn|PATH      port for this run only: 1..16, COM1..COM16, or a device path\n"
        "                          such as /dev/ttyUSB0 (default: ComPort of setup.ini, its device\n"
        "                          taken from the [Ports] map, else /dev/ttyS0 for COM1 ...);\n"
        "                          given more than once, every port gets its own run of the\n"
        "                          file at the same time, each fixture its own serial number\n"
        "  --port auto             probe every serial port and every device of the [Ports] map\n"
        "                          at once (detection at the speed and address in use, %2 s\n"
        "                          wait), then program every port where a device answered;\n"
        "                          ports held by another program are skipped and named\n"
        "  --speed BAUD            9600, 57600 or 115200 for this run only (default: ComSpeed)\n"
        "  --address A             network address 0..65535 for this run only (default: DevAdr)\n"
        "  --reply-timeout SECONDS\n"
        "                          longest wait for one reply: above 0 and at most %1 seconds,\n"
        "                          fractions allowed (default 12)\n"
        "  --log                   write the serial traffic to Log.txt in the settings folder\n"
        "                          (as the debug code in setup.ini does)\n"
        "  --quiet                 no progress bar and no summary line\n"
        "  --json                  one JSON object per line on standard output instead of the\n"
        "                          captions: caption, progress, message and a final result event\n"
        "                          (with --list-ports: one object per port)\n"
        "  --strict                a warning makes the run a fault: exit status 1 after a run\n"
        "                          that would otherwise succeed but leaves the unit doubtful\n"
        "  --record FILE           append the record of each unit to FILE instead of runs.csv in\n"
        "                          the settings folder\n"
        "  --list-ports            list the serial ports and the COMn they stand for, then end\n"
        "  --probe                 with --list-ports: send the detection request to every port\n"
        "                          (or to the ports named with --port) and show what answers:\n"
        "                          amplifier, fixture or nothing\n"
        "  --check                 only check FIRMWARE_FILE: records, data bytes, blocks, SHA-256\n"
        "                          and the time it takes to program; touches no port or setting\n"
        "  --database URL          the production database for this run: a PostgreSQL connection\n"
        "                          string, postgresql://USER@HOST/DB or host=... dbname=... (default:\n"
        "                          Database= in [Production] of setup.ini; none: the counter of\n"
        "                          setup.ini). With one, a fixture's serial number comes from its\n"
        "                          counter and every run's record goes into it\n"
        "  --records               print the records of the production database (a table, or\n"
        "                          with --json one object per record), then end\n"
        "  --since DATE            with --records: runs that ended on DATE (YYYY-MM-DD, or an\n"
        "                          ISO 8601 date and time) or later\n"
        "  --serial N              with --records: the runs that gave out serial number N\n"
        "  --set-next-serial N     set the next serial number the production database gives out\n"
        "                          (a new batch), then end; refused at or below the highest\n"
        "                          number given out so far\n"
        "  --help                  this text\n"
        "  --version               the program's version\n"
        "FIRMWARE_FILE defaults to the FirmwareFile setting of setup.ini.\n"
        "\n"
        "On a terminal a progress bar is drawn on standard error. A failed run prints\n"
        "\"Error!\", \"Fault during upload.\" and a line \"why: ...\" on standard error; every run\n"
        "ends with a summary line (exchanges, time, median round trip) on standard error.\n"
        "Standard error also carries a line \"serial number: N\" when a fixture got one, and a\n"
        "line \"warning: ...\" for each doubtful point of a run that succeeds: no data records,\n"
        "no end-of-file record, a block programmed that was not erased, a refused flash CRC\n"
        "write, boot-mode exit or serial-number write, the stand-in serial number 65535.\n"
        "SIGINT or SIGTERM stops the run at its next reply wait (a fixture's serial-number step\n"
        "runs to its end first) and says where it stopped and in what state the module is.\n"
        "With a production database that cannot be reached, a fixture run ends with \"Fault\"\n"
        "before boot mode; a run's record that cannot be sent waits in database-queue.jsonl\n"
        "in the settings folder and is sent with the next one.\n"
        "\n"
        "Several ports: on a terminal one line per port is redrawn in place, then a table of\n"
        "the results is printed on standard error; otherwise each caption line starts with\n"
        "its port (with --json every event carries \"port\"). Every run appends a line to\n"
        "runs.csv (or the --record file); a record that cannot be written is said on standard\n"
        "error and does not change the exit status.\n"
        "\n"
        "Exit status:\n"
        "  0    success (\"Done with succes\")\n"
        "  1    fault (\"Fault\": bad file, refused request, bad boot-mode frame, no serial\n"
        "       number from the database), or with --strict a success with warnings; for\n"
        "       --records and --set-next-serial: the database failed or refused\n"
        "  2    time-out (\"COM timeout\": a request got no answer in time)\n"
        "       With several ports: 1 when any unit ended with a fault, else 2 when any timed out\n"
        "  64   bad usage (also a --config-dir that is not an existing folder, and --records or\n"
        "       --set-next-serial without a production database)\n"
        "  69   a production database was asked for (--database, --records, --set-next-serial,\n"
        "       Database= in setup.ini) of a build without one (the Windows build)\n"
        "  130  stopped by SIGINT, 143 stopped by SIGTERM\n").arg(MaxReplyTimeout).arg(ProbeReplyTimeout);
}

} // namespace vlboot::cli
