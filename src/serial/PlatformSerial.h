#pragma once

#include "IniFileHandler.h"

#include <QString>
#include <QtGlobal>

namespace vlboot {

// Serial port names and driver settings that differ between operating
// systems; the device itself is SerialPort (SerialPortPosix.cpp,
// SerialPortWin.cpp).

// The device that stands for port number `comPort` (1..16 for COM1..COM16).
// On Windows it is "COMn". Elsewhere the optional section "Ports" of
// setup.ini maps the keys COM1..COM16 to device paths (COM1=/dev/ttyUSB0);
// a missing key means /dev/ttyS0 for COM1 up to /dev/ttyS15 for COM16. The
// section is only read, never written. "" for a number outside 1..16.
QString PortDevicePath(int comPort, const IniFileHandler& ini);
// The device [Ports] maps `comPort` to; "" when it maps none (and on Windows).
QString MappedDevice(int comPort, const IniFileHandler& ini);

// Asks the serial driver behind an open port handle to hand over received
// bytes at once instead of holding them back for its latency timer (USB
// serial adapters wait 16 ms by default). True when the port now runs with
// low latency; false where the driver or platform does not offer it (a
// pseudo-terminal, a closed handle), which callers simply accept.
bool RequestLowLatency(qintptr handle);

} // namespace vlboot
