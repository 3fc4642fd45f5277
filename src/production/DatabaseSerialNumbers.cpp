#include "DatabaseSerialNumbers.h"

#include "ProductionDatabase.h"

namespace vlboot {

bool DatabaseSerialNumbers::Ready(QString& why)
{
    return database_->Open(why) && database_->CounterSet(why);
}

SerialNumberSource::Given DatabaseSerialNumbers::Take()
{
    Given given;
    QString why;
    const std::optional<std::int32_t> number = database_->TakeSerialNumber(why);
    if (!number) {
        given.why = why + QStringLiteral("; no serial number was given out and nothing was written into the fixture");
        return given;
    }
    given.ok = true;
    given.number = *number;
    return given;
}

} // namespace vlboot
