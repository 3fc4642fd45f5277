#pragma once

#include "IniFileHandler.h"
#include "Outcome.h"
#include "Settings.h"
#include "UnitRecord.h"

#include <QString>
#include <optional>

namespace vlboot {

// The ports of a production line as a person names them (vlboot-cli's
// --port, [Production]'s Ports=): 1..16 or COM1..COM16 (any case) give the
// port number, a text with a path separator is a device path; anything
// else is refused.
struct PortArgument {
    std::optional<int> number;
    QString devicePath;
};
std::optional<PortArgument> ParsePortArgument(const QString& text);

// The device a named port stands for (COMn through the [Ports] map).
QString DeviceOfPort(const QString& port, const IniFileHandler& ini);

// Two ports that lead to one device (a link and its target, COMn and its
// [Ports] path) would have two units wait for each other: refused, naming
// both and the device.
Outcome EachPortItsOwnDevice(const QStringList& ports, const IniFileHandler& ini);

// Where a unit on `port` runs, for its record: its COMn and device, and the
// speed and address of `line`.
UnitPlace PlaceOfPort(const QString& port, const IniFileHandler& ini, const Settings::Line& line, const QString& program);

} // namespace vlboot
