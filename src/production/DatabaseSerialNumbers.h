#pragma once

#include "SerialNumber.h"

#include <memory>

namespace vlboot {

class ProductionDatabase;

// A fixture's serial number from the production database's counter, shared
// by every station: never the same number twice, across any number of
// stations and processes. Ready connects (or checks the connection kept
// from an earlier run) and checks that the counter has a number to give;
// Take takes it in a transaction of its own, committed before the number
// goes into the fixture. A connection lost between the two fails Take: no
// number reaches the fixture.
class DatabaseSerialNumbers final : public SerialNumberSource {
public:
    explicit DatabaseSerialNumbers(std::shared_ptr<ProductionDatabase> database) : database_(std::move(database)) {}
    Outcome Ready() override;
    Result<Given> Take() override;

private:
    std::shared_ptr<ProductionDatabase> database_;
};

} // namespace vlboot
