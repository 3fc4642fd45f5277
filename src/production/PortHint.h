#pragma once

#include "PortError.h"

#include <QString>

namespace vlboot {

// What the system lets this user do with a device file.
struct PortAccess {
    bool exists = false;
    bool readWrite = false; // this user may open it for reading and writing
    QString group;          // the group that owns the device, e.g. "dialout"
};
PortAccess ProbePortAccess(const QString& devicePath);

// The hint a technician needs after the port could not be opened: no such
// device (list the ports), no permission (the group to join), or busy
// (another program holds it). Other failures give the link's own
// description.
QString OpenFailureHint(const OpenFailure& error, const PortAccess& access);

} // namespace vlboot
