#include "SerialNumber.h"

#include "IniFileHandler.h"
#include "NumberText.h"
#include "SettingsLock.h"

namespace vlboot {

Result<SerialNumberSource::Given> SettingsSerialNumbers::Take()
{
    static const QString Section = QStringLiteral("Velmsettings");
    static const QString Key = QStringLiteral("Serial");
    const QString& file = ini_.IniFileName;
    // Held from reading the number to storing the next one, so that no other
    // run working from the same settings gets the same number.
    const SettingsLock lock(file, SettingsLock::WriteTimeoutMs);
    if (!lock.IsLocked())
        return Outcome::Failed(
            QStringLiteral("the settings file %1 cannot be locked, so no serial number can be given out safely").arg(file));
    const bool readable = ini_.Readable();
    const QString stored = ini_.ReadIni(Section, Key, QStringLiteral("?"));
    const auto number = IsNumeric(stored) ? ToInt32HalfEven(NumberValue(stored)) : std::nullopt;
    Given given;
    if (!number) {
        given.warnings << (readable ? QStringLiteral("the Serial setting \"%1\" is not a whole number that fits 32 bits: the fixture "
                                                     "gets the stand-in serial number %2 and the setting is left as it is")
                                          .arg(stored)
                                          .arg(StandIn)
                                    : QStringLiteral("the settings file %1 cannot be read: the fixture gets the stand-in serial "
                                                     "number %2")
                                          .arg(file)
                                          .arg(StandIn));
        return given;
    }
    const QString next = NumberText(NumberValue(stored) + 1);
    if (!ini_.WriteIni(Section, Key, next))
        return Outcome::Failed(QStringLiteral("the next serial number %1 cannot be stored in %2, so %3 was not given out (the "
                                              "next run would give it out again); nothing was written into the fixture")
                                   .arg(next, file)
                                   .arg(*number));
    given.number = *number;
    return given;
}

} // namespace vlboot
