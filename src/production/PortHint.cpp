#include "PortHint.h"

#include "Platform.h"

#include <QFileInfo>

namespace vlboot {

PortAccess ProbePortAccess(const QString& devicePath)
{
    PortAccess access;
    if (devicePath.isEmpty())
        return access;
#if defined(Q_OS_WIN)
    // COMn is no file: the open's own failure number says what happened.
    access.exists = true;
    access.readWrite = true;
    return access;
#endif
    const QFileInfo info(devicePath);
    access.exists = info.exists();
    if (access.exists) {
        access.group = info.group();
        access.readWrite = platform::CanReadWrite(devicePath);
    }
    return access;
}

QString OpenFailureHint(const OpenFailure& error, const PortAccess& access)
{
    const QString device = error.devicePath.isEmpty() ? QStringLiteral("the port") : error.devicePath;
    const QString listPorts = QStringLiteral("list the ports with vlboot-cli --list-ports");

    if (error.Kind() == PortError::NotAvailable || (!error.devicePath.isEmpty() && !access.exists)) {
        if (error.devicePath.isEmpty())
            return QStringLiteral("the port has no device (%1); %2").arg(error.detail, listPorts);
        return QStringLiteral("%1 could not be opened: no such device; %2").arg(device, listPorts);
    }
    if (error.Kind() == PortError::AlreadyOpen) {
        if (!access.readWrite) {
            const QString join = access.group.isEmpty() || access.group == QLatin1String("root")
                ? QStringLiteral("ask for read and write access to it")
                : QStringLiteral("join the group %1 (sudo usermod -aG %1 $USER, then log in again)").arg(access.group);
            return QStringLiteral("%1 could not be opened: no permission; %2").arg(device, join);
        }
        return QStringLiteral("%1 could not be opened (%2): it is busy, another program holds the port "
                              "(a terminal program, a second vlboot or vlboot-cli); close it and try again")
            .arg(device, error.detail);
    }
    return QStringLiteral("the port could not be opened: %1").arg(error.ToString());
}

} // namespace vlboot
