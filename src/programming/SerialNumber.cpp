#include "SerialNumber.h"

#include "IniFileHandler.h"
#include "NumberText.h"
#include "SettingsLock.h"

namespace vlboot {

SerialNumberSource::Given SettingsSerialNumbers::Take()
{
    static const QString Section = QStringLiteral("Velmsettings");
    static const QString Key = QStringLiteral("Serial");
    const QString& file = ini_.IniFileName;
    Given given;
    // Held from reading the number to storing the next one, so that no other
    // run working from the same settings gets the same number.
    const SettingsLock lock(file, SettingsLock::WriteTimeoutMs);
    if (!lock.IsLocked()) {
        given.why = QStringLiteral("the settings file %1 cannot be locked, so no serial number can be given out safely").arg(file);
        return given;
    }
    const bool readable = ini_.Readable();
    const QString stored = ini_.ReadIni(Section, Key, QStringLiteral("?"));
    const auto number = IsNumeric(stored) ? ToInt32HalfEven(NumberValue(stored)) : std::nullopt;
    given.ok = true;
    if (!number) {
        given.warnings << (readable ? QStringLiteral("the Serial setting \"%1\" is not a whole number that fits 32 bits: the fixture "
                                                     "gets the stand-in serial number 65535 and the setting is left as it is")
                                          .arg(stored)
                                    : QStringLiteral("the settings file %1 cannot be read: the fixture gets the stand-in serial "
                                                     "number 65535")
                                          .arg(file));
        return given;
    }
    const QString next = NumberText(NumberValue(stored) + 1);
    if (!ini_.WriteIni(Section, Key, next)) {
        given.ok = false;
        given.why = QStringLiteral("the next serial number %1 cannot be stored in %2, so %3 was not given out (the next run "
                                   "would give it out again); nothing was written into the fixture")
                        .arg(next, file)
                        .arg(*number);
        return given;
    }
    given.number = *number;
    return given;
}

} // namespace vlboot
