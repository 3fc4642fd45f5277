#pragma once

#include "RunReport.h"
#include "RunRecord.h"

#include <QString>
#include <optional>

namespace vlboot {

// Where and how a unit was run, beyond what the run itself reports.
struct UnitPlace {
    QString program;    // "vlboot" or "vlboot-cli"
    QString comPort;    // "COM3"; "" when a device path was named instead
    QString devicePath; // the device the port stands for
    int baud = 0;
    QString address;    // the network address as used
};

// The record of a finished run: its report, where it ran, and `reason`
// (how it ended, as the front end says it: the run's explanation with the
// port hint, "stopped by SIGTERM while ...", "--strict: ...").
RunRecord RecordOfRun(const RunReport& run, const UnitPlace& place, const QString& reason);

// What the program that started a unit's run knows of it when that run's
// own program ended without reporting its end (it crashed or was killed):
// the run's events seen so far.
struct LostUnit {
    UnitPlace place;
    QString firmwareFile;
    qint64 firmwareSize = -1;
    QByteArray firmwareSha256;
    QString deviceKind;
    QString caption;                    // the last caption it showed
    std::optional<qint64> serialNumber; // a number it said it was given
    int exchanges = 0;
    double seconds = 0;
    QString reason; // how its program ended
    RunOutcome outcome = RunOutcome::Fault; // Stopped: a stop reached it before its run began
};
RunRecord RecordOfLostUnit(const LostUnit& unit);

// The names the record and the events use: "amplifier", "fixture" or ""
// (DeviceTypes); "done", "fault", "timeout", "stopped"; "confirmed",
// "no reply", "refused", "not sent" (or "" when no number was given out).
QString DeviceKindName(std::uint8_t deviceType);
QString OutcomeName(RunOutcome outcome);
QString SerialWriteName(const SerialNumberStep& serial);

} // namespace vlboot
