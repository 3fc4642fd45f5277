#pragma once

#include "IniFileHandler.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vlboot::cli {

// One serial port of the machine as the system reports it.
struct PortEntry {
    QString devicePath;  // e.g. /dev/ttyUSB0
    QString description; // e.g. "FT232R USB UART"
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    QString serialNumber;
};

// The serial ports the system reports now.
QList<PortEntry> AvailablePorts();

// The lines of --list-ports: a heading, one line per port with its device
// path, description, USB vendor:product id in hexadecimal, serial number and
// the COMn that stand for it (from the [Ports] map of setup.ini, else the
// default /dev/ttyS0 = COM1 ...), then one line per [Ports] entry whose
// device is not among the ports, marked "missing" when it does not exist.
// Reads setup.ini without writing to it.
QStringList PortListing(const QList<PortEntry>& ports, const IniFileHandler& ini);

// The same for --list-ports --json: one JSON object per line, {"event":
// "port", "device", "description", "vendor_id", "product_id" (four hex
// digits), "serial_number" (null where unknown), "com": ["COM1", ...],
// "listed_by_system", "exists"}.
QStringList PortListingJson(const QList<PortEntry>& ports, const IniFileHandler& ini);

} // namespace vlboot::cli
