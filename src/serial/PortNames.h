#pragma once

#include "IniFileHandler.h"

#include <QString>

namespace vlboot {

// The device that stands for port number `comPort` (1..16 for COM1..COM16).
// On Windows it is "COMn". Elsewhere the optional section "Ports" of
// setup.ini maps the keys COM1..COM16 to device paths (COM1=/dev/ttyUSB0);
// a missing key means /dev/ttyS0 for COM1 up to /dev/ttyS15 for COM16. The
// section is only read, never written. "" for a number outside 1..16.
QString PortDevicePath(int comPort, const IniFileHandler& ini);

} // namespace vlboot
