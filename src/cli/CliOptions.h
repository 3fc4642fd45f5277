#pragma once

#include "ExitStatus.h"
#include "PortNames.h"
#include "Settings.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vlboot::cli {


// The reply wait of a probe, in seconds.
inline constexpr double ProbeReplyTimeout = 0.5;

// The longest reply wait that may be asked for, in seconds.
inline constexpr double MaxReplyTimeout = 3600.0;

// The command line of vlboot-cli. Port, speed and address override the
// settings for one run only; unset ones keep what setup.ini says.
struct CliOptions {
    QString configDir;                      // empty: the folder ConfigFolder.h's rule gives
    std::optional<int> comPort;             // --port 1..16 or COM1..COM16
    QString portDevice;                     // --port DEVICE_PATH
    QStringList ports;                      // every --port value as given, in order
    bool autoPorts = false;                 // --port auto: every port where a device answers
    std::optional<std::uint8_t> speedIndex; // --speed: 0 = 9600, 1 = 57600, 2 = 115200
    std::optional<QString> address;         // --address, a whole number 0..65535
    double replyTimeout = DefaultReplyTimeout; // --reply-timeout, seconds
    bool log = false;
    bool quiet = false;
    bool json = false;
    bool strict = false; // a warning makes the run a fault
    bool oneNumberEach = false; // --one-number-each: a fixture only with a number of its own
    QByteArray expectSha256;    // --expect-sha256: the only firmware to program (lower-case hexadecimal)
    bool watch = false;         // --watch: units programmed as they are placed, until stopped
    QString http;               // --http ADDRESS:PORT: the station's HTTP server (with --watch) (exit status 1)
    bool listPorts = false;
    bool probe = false;   // --probe (with --list-ports): what answers on each port
    bool check = false;   // --check: the checking pass of the file only
    QString recordFile;   // --record FILE; empty: runs.csv in the settings folder
    // The production database: --database replaces Database= of setup.ini
    // for this run.
    std::optional<QString> database;
    bool records = false;                         // --records: print the database's records
    std::optional<QDateTime> since;               // --since: records of runs that ended then or later
    std::optional<qint64> serial;                 // --serial: records of the unit with that number
    std::optional<std::int32_t> setNextSerial;    // --set-next-serial: the counter's next number
    bool help = false;
    bool version = false;
    QString firmwareFile; // empty: the FirmwareFile setting
};

struct CliParse {
    std::optional<CliOptions> options; // nothing on bad usage
    QString error;                     // why the command line was refused
};

// Reads the arguments that follow the program name.
CliParse ParseCliOptions(const QStringList& args);

// A --speed value in baud: 9600, 57600 or 115200, as the speed index.
std::optional<std::uint8_t> ParseSpeedArgument(const QString& text);

// A --reply-timeout value: seconds above 0, at most MaxReplyTimeout.
std::optional<double> ParseReplyTimeout(const QString& text);

// A --address value: a whole number 0..65535 written as a number.
bool IsValidAddress(const QString& text);

// A --since value: a date (YYYY-MM-DD, from its local midnight) or an ISO
// 8601 date and time (local time unless it has an offset).
std::optional<QDateTime> ParseSinceArgument(const QString& text);

// The usage line; the full help adds the options and exit codes.
QString UsageText();
QString HelpText();

} // namespace vlboot::cli
