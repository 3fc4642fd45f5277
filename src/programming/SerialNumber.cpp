#include "SerialNumber.h"

#include "IniFileHandler.h"
#include "NumberText.h"

namespace vlboot {
namespace {

const QString Section = QStringLiteral("Velmsettings");
const QString Key = QStringLiteral("Serial");
const QString NotANumber = QStringLiteral("?");
constexpr std::int32_t StandIn = 65535;

} // namespace

SerialNumberGiven TakeSerialNumber(const IniFileHandler& ini)
{
    SerialNumberGiven given;
    given.unreadable = !ini.Readable();
    given.stored = ini.ReadIni(Section, Key, NotANumber);
    const auto number = IsNumeric(given.stored) ? ToInt32HalfEven(NumberValue(given.stored)) : std::nullopt;
    if (!number)
        return given; // the stand-in; the setting stays as it is
    given.number = *number;
    given.standIn = false;
    given.next = NumberText(NumberValue(given.stored) + 1);
    given.nextStored = ini.WriteIni(Section, Key, given.next);
    return given;
}

} // namespace vlboot
