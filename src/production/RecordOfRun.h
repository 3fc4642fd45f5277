#pragma once

#include "ProgramModule.h"
#include "RunRecord.h"

#include <QString>

namespace vlboot {

class ProgrammingSession;
class RecordStore;

// The record of the session's last run, made in this one place for the
// window and the command-line tool alike. `program` is "vlboot" or
// "vlboot-cli"; `namedDevice` the device path a run was pointed at instead
// of a COMn ("" when it used a COMn); `reason`, when not empty, replaces the
// run's own explanation of how it ended (the command line adds the port
// hint, the stop signal, --strict). `station` is left empty.
RunRecord RecordOfRun(const ProgrammingSession& session, const QString& program, const QString& namedDevice = {},
                      const QString& reason = {});

// The record of a run whose program ended without reporting its end (it
// crashed or was killed), from what the program that started it knows:
// the port it was given (COMn or a device path), the file and its checking
// pass, the last caption it showed, and why its end is unknown.
RunRecord RecordOfLostRun(const QString& program, const QString& port, const QString& firmwareFile,
                          const FirmwareCheckResult& check, const QString& caption, const QString& reason, double seconds);

// "amplifier", "fixture", or "" for DeviceTypes::None.
QString DeviceKindName(std::uint8_t deviceType);

} // namespace vlboot
