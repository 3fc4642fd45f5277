#include "Settings.h"

#include "NumberText.h"

#include <QDir>
#include <cmath>

namespace vlboot {

Settings::Settings(const QString& configDir)
    : Ini(QDir(configDir).filePath(QStringLiteral("setup.ini")))
    , ConfigDir(configDir)
{
}

void Settings::SelectComPort(long long Requested)
{
    const int p = (Requested >= 1 && Requested <= 16) ? static_cast<int>(Requested) : 1;
    ComPort = static_cast<std::uint8_t>(p);
    if (OnComPortSelected)
        OnComPortSelected(p);
    Ini.WriteIni(QStringLiteral("ComSettings"), QStringLiteral("ComPort"), QString::number(Requested));
}

void Settings::SelectComSpeed(int Index)
{
    const int i = (Index >= 0 && Index <= 2) ? Index : 0;
    ComSpeed = static_cast<std::uint8_t>(i);
    if (OnComSpeedSelected)
        OnComSpeedSelected(i);
    Ini.WriteIni(QStringLiteral("ComSettings"), QStringLiteral("ComSpeed"), QString::number(BaudRate(ComSpeed)));
}

void Settings::ReadComSettings()
{
    DevAdr = Ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("DevAdr"), QStringLiteral("1"));

    const double port = RoundHalfEven(NumberValue(Ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("ComPort"), QStringLiteral("1"))));
    // A number too large for any port selects COM1 like any other bad value;
    // it is written back as read.
    SelectComPort(std::fabs(port) < 1e15 ? static_cast<long long>(port) : 0);

    const double speed = NumberValue(Ini.ReadIni(QStringLiteral("ComSettings"), QStringLiteral("ComSpeed"), QStringLiteral("9600")));
    SelectComSpeed(speed == 115200 ? 2 : speed == 57600 ? 1 : 0);
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

int Settings::BaudRate(std::uint8_t comSpeed)
{
    switch (comSpeed) {
    case 1: return 57600;
    case 2: return 115200;
    default: return 9600;
    }
}

} // namespace vlboot
