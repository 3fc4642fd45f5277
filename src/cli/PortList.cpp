#include "PortList.h"
#include "Settings.h"

#include "PlatformSerial.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    return MappedDevice(n, ini);
}

} // namespace

QList<PortEntry> AvailablePorts()
{
    QList<PortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortEntry port;
#if defined(Q_OS_WIN)
        port.devicePath = info.portName(); // "COM5", as the ports are named (not \\.\COM5)
#else
        port.devicePath = info.systemLocation();
#endif
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

namespace {

// One line of the listing: a port the system reports, or a [Ports] entry
// whose device it does not report.
struct ListedPort {
    PortEntry port;
    QStringList coms; // the COMn that stand for it
    bool reported = true;
    bool exists = true;
};

QList<ListedPort> listedPorts(const QList<PortEntry>& ports, const IniFileHandler& ini)
{
    QString comPath[PortCount + 1];
    for (int n = 1; n <= PortCount; ++n)
        comPath[n] = PortDevicePath(n, ini);
    QList<ListedPort> listed;
    QStringList paths;
    for (const PortEntry& port : ports) {
        ListedPort entry{port, {}};
        for (int n = 1; n <= PortCount; ++n) {
            if (comPath[n] == port.devicePath)
                entry.coms << QStringLiteral("COM") + QString::number(n);
        }
        listed << entry;
        paths << port.devicePath;
    }
    for (int n = 1; n <= PortCount; ++n) {
        const QString path = mappedPath(n, ini);
        if (path.isEmpty() || paths.contains(path))
            continue;
        ListedPort entry;
        entry.port.devicePath = path;
        entry.coms << QStringLiteral("COM") + QString::number(n);
        entry.reported = false;
        entry.exists = QFileInfo::exists(path);
        listed << entry;
    }
    return listed;
}

QJsonValue idValue(const std::optional<quint16>& id)
{
    return id ? QJsonValue(QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0'))) : QJsonValue();
}

QJsonValue textValue(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

QStringList PortListing(const QList<PortEntry>& ports, const IniFileHandler& ini)
{
    QStringList lines;
    lines << row({QStringLiteral("DEVICE"), QStringLiteral("DESCRIPTION"), QStringLiteral("USB ID"),
                  QStringLiteral("SERIAL"), QStringLiteral("COM")});
    if (ports.isEmpty())
        lines << QStringLiteral("(no serial ports found)");
    for (const ListedPort& entry : listedPorts(ports, ini)) {
        const PortEntry& port = entry.port;
        if (entry.reported) {
            lines << row({port.devicePath, orDash(port.description), usbId(port), orDash(port.serialNumber),
                          entry.coms.isEmpty() ? QStringLiteral("-") : entry.coms.join(QLatin1Char(','))});
        } else {
            const QString state = entry.exists ? QStringLiteral("present, but not a serial port the system lists")
                                               : QStringLiteral("missing");
            lines << QStringLiteral("%1 = %2 (from [Ports]): %3").arg(entry.coms.constFirst(), port.devicePath, state);
        }
    }
    return lines;
}

QStringList PortListingJson(const QList<PortEntry>& ports, const IniFileHandler& ini)
{
    QStringList lines;
    for (const ListedPort& entry : listedPorts(ports, ini)) {
        const PortEntry& port = entry.port;
        const QJsonObject object{{QStringLiteral("event"), QStringLiteral("port")},
                                 {QStringLiteral("device"), port.devicePath},
                                 {QStringLiteral("description"), textValue(port.description)},
                                 {QStringLiteral("vendor_id"), idValue(port.vendorId)},
                                 {QStringLiteral("product_id"), idValue(port.productId)},
                                 {QStringLiteral("serial_number"), textValue(port.serialNumber)},
                                 {QStringLiteral("com"), QJsonArray::fromStringList(entry.coms)},
                                 {QStringLiteral("listed_by_system"), entry.reported},
                                 {QStringLiteral("exists"), entry.exists}};
        lines << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    return lines;
}

} // namespace vlboot::cli
