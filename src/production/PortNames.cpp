#include "PortNames.h"

#include "PlatformSerial.h"

#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

namespace vlboot {
namespace {

// 1..16 without a sign, blanks or leading zeros beyond one digit.
std::optional<int> portNumber(const QString& digits)
{
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,2}$"));
    if (!whole.match(digits).hasMatch())
        return std::nullopt;
    const int n = digits.toInt();
    if (n < 1 || n > PortCount)
        return std::nullopt;
    return n;
}

} // namespace

std::optional<PortArgument> ParsePortArgument(const QString& text)
{
    if (const auto n = portNumber(text))
        return PortArgument{n, {}};
    if (text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        if (const auto n = portNumber(text.mid(3)))
            return PortArgument{n, {}};
        return std::nullopt; // COM0, COM17, COMx
    }
    if (text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('\\')))
        return PortArgument{std::nullopt, text};
    return std::nullopt;
}

QString DeviceOfPort(const QString& port, const IniFileHandler& ini)
{
    const auto parsed = ParsePortArgument(port);
    if (parsed && parsed->number)
        return PortDevicePath(*parsed->number, ini);
    return port;
}

Outcome EachPortItsOwnDevice(const QStringList& ports, const IniFileHandler& ini)
{
    QMap<QString, QString> seen; // device -> the port name that named it
    for (const QString& port : ports) {
        const QString device = DeviceOfPort(port, ini);
        const QString real = QFileInfo(device).canonicalFilePath();
        const QString key = real.isEmpty() ? device : real;
        if (seen.contains(key))
            return Outcome::Failed(QStringLiteral("the ports %1 and %2 are the same device (%3): name it once.").arg(seen.value(key), port, key));
        seen.insert(key, port);
    }
    return Outcome::Ok();
}

UnitPlace PlaceOfPort(const QString& port, const IniFileHandler& ini, const Settings::Line& line, const QString& program)
{
    UnitPlace place;
    place.program = program;
    const auto parsed = ParsePortArgument(port);
    if (parsed && parsed->number)
        place.comPort = QStringLiteral("COM%1").arg(*parsed->number);
    place.devicePath = DeviceOfPort(port, ini);
    place.baud = BaudRates.at(line.speedIndex);
    place.address = line.address;
    return place;
}

} // namespace vlboot
