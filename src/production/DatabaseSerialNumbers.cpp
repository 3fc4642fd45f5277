#include "DatabaseSerialNumbers.h"

#include "ProductionDatabase.h"

namespace vlboot {

Outcome DatabaseSerialNumbers::Ready()
{
    if (const Outcome opened = database_->Open(); !opened.ok())
        return opened;
    return database_->CounterSet();
}

Result<SerialNumberSource::Given> DatabaseSerialNumbers::Take()
{
    const Result<std::int32_t> number = database_->TakeSerialNumber();
    if (!number)
        return Outcome::Failed(number.why() + QStringLiteral("; no serial number was given out and nothing was written into the fixture"));
    Given given;
    given.number = *number;
    return given;
}

} // namespace vlboot
