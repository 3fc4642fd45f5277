// The production database's serial counter: one row, taken with one
// statement so that every number is its own committed transaction.

#include "ProductionDatabase.h"

namespace vlboot {

Outcome ProductionDatabase::CounterSet()
{
    Rows rows;
    if (const Outcome asked = exec("SELECT next_number FROM vlboot_serial_counter", {}, &rows); !asked.ok())
        return asked;
    const std::optional<QString> next = rows.value(0).value(0);
    if (!next)
        return failed(QStringLiteral("no serial number can be given out by"),
                      QStringLiteral("its serial counter has not been set: set the first number of the batch with "
                                     "vlboot-cli --set-next-serial N"));
    if (next->toLongLong() > HighestSerialNumber)
        return failed(QStringLiteral("no serial number can be given out by"),
                      QStringLiteral("its serial counter has given out %1, the highest number a fixture holds").arg(HighestSerialNumber));
    return Outcome::Ok();
}

Result<std::int32_t> ProductionDatabase::TakeSerialNumber()
{
    // One statement, so one transaction: committed when the reply comes.
    // The row lock makes takers from every station wait for each other.
    Rows rows;
    if (const Outcome taken = exec("UPDATE vlboot_serial_counter SET next_number = next_number + 1, highest_given = next_number "
                                   "WHERE next_number <= $1 RETURNING next_number - 1",
                                   {QByteArray::number(HighestSerialNumber)}, &rows);
        !taken.ok())
        return taken;
    if (rows.isEmpty()) {
        const Outcome why = CounterSet();
        return why.ok() ? failed(QStringLiteral("no serial number was given out by"), QStringLiteral("its counter is used up")) : why;
    }
    return static_cast<std::int32_t>(rows.constFirst().constFirst().value_or(QString()).toLongLong());
}

Outcome ProductionDatabase::SetNextSerialNumber(std::int32_t next)
{
    if (next < 0)
        return Outcome::Failed(QStringLiteral("the next serial number must be 0 to %1").arg(HighestSerialNumber));
    if (const Outcome opened = Open(); !opened.ok())
        return opened;
    // The check and the change are one statement: no number can be taken
    // between them.
    Rows rows;
    if (const Outcome set = exec("UPDATE vlboot_serial_counter SET next_number = $1 WHERE highest_given IS NULL OR "
                                 "$1::bigint > highest_given RETURNING next_number",
                                 {QByteArray::number(next)}, &rows);
        !set.ok())
        return set;
    if (!rows.isEmpty())
        return Outcome::Ok();
    if (const Outcome asked = exec("SELECT highest_given FROM vlboot_serial_counter", {}, &rows); !asked.ok())
        return asked;
    return Outcome::Failed(QStringLiteral("refused: %1 is not above %2, the highest serial number given out so far (a lower "
                                          "next number would give numbers out twice)")
                               .arg(next)
                               .arg(rows.value(0).value(0).value_or(QString())));
}

} // namespace vlboot
