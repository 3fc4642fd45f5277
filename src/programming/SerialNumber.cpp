#include "SerialNumber.h"

#include "IniFileHandler.h"
#include "NumberText.h"
#include "SettingsLock.h"

#include <cmath>

namespace vlboot {
namespace {

const QString Section = QStringLiteral("Velmsettings");
const QString Key = QStringLiteral("Serial");

// `why`: the lock's own reason (what holds it).
QString lockFailure(const QString& file, const QString& why)
{
    return QStringLiteral("the settings file %1 cannot be locked, so no serial number can be given out safely: %2").arg(file, why);
}

} // namespace

SerialCounter ReadSerialCounter(const IniFileHandler& ini)
{
    SerialCounter c;
    const bool readable = ini.Readable();
    c.stored = ini.ReadIni(Section, Key, QStringLiteral("?"));
    const QString standIn = QStringLiteral("the fixture gets the stand-in serial number %1 and the setting is left as it is")
                                .arg(SerialNumberSource::StandIn);
    if (!readable) {
        c.problem = QStringLiteral("the settings file %1 cannot be read: %2").arg(ini.IniFileName, standIn);
        return c;
    }
    if (!IsNumeric(c.stored)) {
        c.problem = QStringLiteral("the Serial setting \"%1\" is not a number: %2").arg(c.stored, standIn);
        return c;
    }
    const double value = NumberValue(c.stored);
    c.number = ToInt32HalfEven(value);
    if (!c.number) {
        c.problem = QStringLiteral("the Serial setting %1 is beyond the 32-bit numbers a fixture holds: %2").arg(c.stored, standIn);
        return c;
    }
    c.next = NumberText(value + 1);
    c.exhausted = !ToInt32HalfEven(value + 1);
    if (value != std::trunc(value))
        c.problem = QStringLiteral("the Serial setting %1 is not a whole number: the fixture gets %2 (rounded half to even) and "
                                   "the counter goes on to %3, so fixtures can get the same number")
                        .arg(c.stored)
                        .arg(*c.number)
                        .arg(c.next);
    else if (*c.number < 0)
        c.problem = QStringLiteral("the Serial setting %1 is negative: the fixture holds it as the four bytes %2")
                        .arg(*c.number)
                        .arg(QString::number(static_cast<std::uint32_t>(*c.number), 16).toUpper());
    return c;
}

Outcome SettingsSerialNumbers::Ready()
{
    const QString& file = ini_.IniFileName;
    const SettingsLock lock(file, SettingsLock::WriteTimeoutMs);
    if (!lock.IsLocked())
        return Outcome::Failed(lockFailure(file, lock.Why()));
    const SerialCounter counter = ReadSerialCounter(ini_);
    if (counter.exhausted)
        return Outcome::Failed(QStringLiteral("the Serial setting %1 has reached the highest serial number a fixture holds: no "
                                              "number after it could be stored; set the counter for a new batch")
                                   .arg(counter.stored));
    if (oneNumberEach_ && !counter.problem.isEmpty())
        return Outcome::Failed(counter.problem + QStringLiteral("; the units of a production line each need a number of their own"));
    // The number is stored before it goes into the fixture: that the file
    // can be written is made sure now, before boot mode.
    if (!ini_.WriteIni(Section, Key, counter.stored))
        return Outcome::Failed(QStringLiteral("the settings file %1 cannot be written (%2), so no serial number could be stored")
                                   .arg(file, ini_.Readable() ? QStringLiteral("a full disk, a read-only folder?")
                                                              : ini_.WhyUnreadable().mid(file.size() + 1)));
    return Outcome::Ok();
}

Result<SerialNumberSource::Given> SettingsSerialNumbers::Take()
{
    const QString& file = ini_.IniFileName;
    // Held from reading the number to storing the next one, so that no other
    // run working from the same settings gets the same number.
    const SettingsLock lock(file, SettingsLock::WriteTimeoutMs);
    if (!lock.IsLocked())
        return Outcome::Failed(lockFailure(file, lock.Why()));
    const SerialCounter counter = ReadSerialCounter(ini_);
    if (counter.exhausted || (oneNumberEach_ && !counter.problem.isEmpty()))
        return Outcome::Failed(QStringLiteral("the Serial setting %1 no longer gives a number of its own; nothing was written into "
                                              "the fixture")
                                   .arg(counter.stored));
    Given given;
    if (!counter.problem.isEmpty())
        given.warnings << counter.problem;
    if (!counter.number)
        return given; // the stand-in; the setting is left as it is
    if (!ini_.WriteIni(Section, Key, counter.next))
        return Outcome::Failed(QStringLiteral("the next serial number %1 cannot be stored in %2, so %3 was not given out (the "
                                              "next run would give it out again); nothing was written into the fixture")
                                   .arg(counter.next, file)
                                   .arg(*counter.number));
    given.number = *counter.number;
    return given;
}

} // namespace vlboot
