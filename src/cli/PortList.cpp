#include "PortList.h"

#include "PortNames.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace vlboot::cli {
namespace {

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString usbId(const PortEntry& port)
{
    if (!port.vendorId && !port.productId)
        return QStringLiteral("-");
    const auto hex = [](const std::optional<quint16>& id) {
        return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QStringLiteral("????");
    };
    return hex(port.vendorId) + QLatin1Char(':') + hex(port.productId);
}

QString row(const QStringList& cells)
{
    static const int widths[] = {20, 28, 10, 16};
    QString line;
    for (int i = 0; i < cells.size(); ++i) {
        const bool last = i + 1 == cells.size();
        line += last ? cells.at(i) : cells.at(i).leftJustified(widths[i]) + QLatin1Char(' ');
    }
    return line.trimmed();
}

// The [Ports] entry of COMn, "" when there is none (nothing is written).
QString mappedPath(int n, const IniFileHandler& ini)
{
    return ini.ReadIni(QStringLiteral("Ports"), QStringLiteral("COM") + QString::number(n), QString()).trimmed();
}

} // namespace

QList<PortEntry> AvailablePorts()
{
    QList<PortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortEntry port;
        port.devicePath = info.systemLocation();
        port.description = info.description();
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        port.serialNumber = info.serialNumber();
        ports.append(port);
    }
    return ports;
}

QStringList PortListing(const QList<PortEntry>& ports, const IniFileHandler& ini)
{
    QString comPath[17];
    for (int n = 1; n <= 16; ++n)
        comPath[n] = PortDevicePath(n, ini);

    QStringList lines;
    lines << row({QStringLiteral("DEVICE"), QStringLiteral("DESCRIPTION"), QStringLiteral("USB ID"),
                  QStringLiteral("SERIAL"), QStringLiteral("COM")});
    if (ports.isEmpty())
        lines << QStringLiteral("(no serial ports found)");
    QStringList listed;
    for (const PortEntry& port : ports) {
        listed << port.devicePath;
        QStringList coms;
        for (int n = 1; n <= 16; ++n) {
            if (comPath[n] == port.devicePath)
                coms << QStringLiteral("COM") + QString::number(n);
        }
        lines << row({port.devicePath, orDash(port.description), usbId(port), orDash(port.serialNumber),
                      coms.isEmpty() ? QStringLiteral("-") : coms.join(QLatin1Char(','))});
    }

    for (int n = 1; n <= 16; ++n) {
        const QString path = mappedPath(n, ini);
        if (path.isEmpty() || listed.contains(path))
            continue;
        const QString state = QFileInfo::exists(path) ? QStringLiteral("present, but not a serial port the system lists")
                                                      : QStringLiteral("missing");
        lines << QStringLiteral("COM%1 = %2 (from [Ports]): %3").arg(n).arg(path, state);
    }
    return lines;
}

} // namespace vlboot::cli
