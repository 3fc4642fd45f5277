#include "Settings.h"

#include "NumberText.h"

#include <QDir>
#include <cmath>

namespace vlboot {

std::optional<std::uint8_t> SpeedIndexOf(double baud)
{
    for (std::size_t i = 0; i < BaudRates.size(); ++i) {
        if (baud == BaudRates[i])
            return static_cast<std::uint8_t>(i);
    }
    return std::nullopt;
}

QString SettingsFilePath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("setup.ini"));
}

Settings::Settings(const QString& configDir)
    : Ini(SettingsFilePath(configDir))
    , ConfigDir(configDir)
{
}

void Settings::SelectComPort(long long Requested)
{
    const int p = (Requested >= 1 && Requested <= PortCount) ? static_cast<int>(Requested) : 1;
    ComPort = static_cast<std::uint8_t>(p);
    if (OnComPortSelected)
        OnComPortSelected(p);
    Ini.WriteIni(QStringLiteral("ComSettings"), QStringLiteral("ComPort"), QString::number(Requested));
}

void Settings::SelectComSpeed(int Index)
{
    const int i = (Index >= 0 && Index < SpeedCount) ? Index : 0;
    ComSpeed = static_cast<std::uint8_t>(i);
    if (OnComSpeedSelected)
        OnComSpeedSelected(i);
    Ini.WriteIni(QStringLiteral("ComSettings"), QStringLiteral("ComSpeed"), QString::number(BaudRates[ComSpeed]));
}

void Settings::ReadComSettings()
{
    DevAdr = Ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("DevAdr"), QStringLiteral("1"));

    const double port = RoundHalfEven(NumberValue(Ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("ComPort"), QStringLiteral("1"))));
    // A number too large for any port selects COM1 like any other bad value;
    // it is written back as read.
    SelectComPort(std::fabs(port) < 1e15 ? static_cast<long long>(port) : 0);

    const double speed = NumberValue(Ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("ComSpeed"), QStringLiteral("9600")));
    SelectComSpeed(SpeedIndexOf(speed).value_or(0));
}

bool Settings::ReadDebugSetting() const
{
    const QString d = Ini.ReadIni(QStringLiteral("AmpCom"), QStringLiteral("Debug"), QStringLiteral("0"));
    return IsNumeric(d) && NumberValue(d) == DebugCode;
}

QString Settings::ReadFirmwareFile() const
{
    return Ini.ReadIni(QStringLiteral("Velmsettings"), QStringLiteral("FirmwareFile"), QStringLiteral("?"));
}

void Settings::StoreDevAdr(const QString& entered)
{
    DevAdr = entered;
    Ini.WriteIni(QStringLiteral("ComSettings"), QStringLiteral("DevAdr"), NumberText(NumberValue(entered)));
}

void Settings::StoreFirmwareFile(const QString& path)
{
    Ini.WriteIni(QStringLiteral("Velmsettings"), QStringLiteral("FirmwareFile"), path);
}

Settings::Line Settings::PeekLine(const IniFileHandler& ini)
{
    Line line;
    const QString speed = ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("ComSpeed"), QString());
    line.speedIndex = SpeedIndexOf(IsNumeric(speed) ? NumberValue(speed) : 0).value_or(0);
    const QString address = ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("DevAdr"), QString());
    if (!address.isEmpty())
        line.address = address;
    return line;
}

} // namespace vlboot
