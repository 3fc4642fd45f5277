// Everything of the serial link that differs between operating systems.

#include "PlatformSerial.h"
#include "Settings.h"

#if defined(Q_OS_LINUX)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace vlboot {

QString PortDevicePath(int comPort, const IniFileHandler& ini)
{
    if (comPort < 1 || comPort > PortCount)
        return {};
    const QString name = QStringLiteral("COM") + QString::number(comPort);
#if defined(Q_OS_WIN)
    (void)ini;
    return name;
#else
    const QString mapped = MappedDevice(comPort, ini);
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS") + QString::number(comPort - 1);
#endif
}

QString MappedDevice(int comPort, const IniFileHandler& ini)
{
#if defined(Q_OS_WIN)
    (void)comPort;
    (void)ini;
    return {};
#else
    // An empty default: a missing key is not written into the file.
    return ini.ReadIni(QStringLiteral("Ports"), QStringLiteral("COM") + QString::number(comPort), QString()).trimmed();
#endif
}

bool RequestLowLatency(qintptr handle)
{
#if defined(Q_OS_LINUX)
    if (handle < 0)
        return false;
    const int fd = static_cast<int>(handle);
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return false;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return true;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
    (void)handle;
    return false;
#endif
}

} // namespace vlboot
