#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace vlboot {

// The record of one unit: what was programmed into which device, with which
// firmware, when and where, how the run ended and what is known of the
// unit. One line of runs.csv, one row of the production database; its
// fields are described once, in RecordFields.h.
struct RunRecord {
    QDateTime time;                     // local time, with its UTC offset, when the run ended
    QString host;                       // the machine's host name
    QString station;                    // the station's name (the production database's)
    QString program;                    // "vlboot" or "vlboot-cli"
    QString version;                    // the program's version
    QString comPort;                    // "COM3"; "" when a device path was named
    QString devicePath;                 // "/dev/ttyUSB0"
    int baud = 0;
    QString address;                    // the network address as used
    QString deviceKind;                 // "amplifier" or "fixture"; "" when not known
    QString firmwarePath;
    qint64 firmwareSize = -1;           // bytes; -1 when the file could not be read
    QByteArray firmwareSha256;          // lower-case hexadecimal; "" when the file could not be read
    std::optional<qint64> serialNumber; // the number given out to a fixture (the counter moved past it)
    QString serialWrite;                // what is known of its write: "confirmed", "no reply", "refused", "not sent"
    QString outcome;                    // "done", "fault", "timeout" or "stopped"
    QString caption;                    // the final caption, or "stopped"
    QString failedStep;                 // where the run ended when it did not succeed
    QString reason;                     // why ("" on success)
    QStringList warnings;               // doubtful points of the run
    int exchanges = 0;
    double seconds = 0;

    bool operator==(const RunRecord&) const = default;
};

} // namespace vlboot
