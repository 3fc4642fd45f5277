#include "SerialNumber.h"

#include "IniFileHandler.h"
#include "NumberText.h"

namespace vlboot {
namespace {

const QString Section = QStringLiteral("Velmsettings");
const QString Key = QStringLiteral("Serial");
const QString NotANumber = QStringLiteral("?");

} // namespace

std::int32_t GetSerialNumber(const IniFileHandler& ini)
{
    const QString text = ini.ReadIni(Section, Key, NotANumber);
    if (!IsNumeric(text))
        return 65535;
    return ToInt32HalfEven(NumberValue(text)).value_or(65535);
}

SerialCount CountSerialNumberUp(const IniFileHandler& ini)
{
    SerialCount c;
    const QString text = ini.ReadIni(Section, Key, NotANumber);
    if (!IsNumeric(text))
        return c;
    c.numeric = true;
    c.next = NumberText(NumberValue(text) + 1);
    c.written = ini.WriteIni(Section, Key, c.next);
    return c;
}

} // namespace vlboot
