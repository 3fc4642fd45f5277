#pragma once

#include "Outcome.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace vlboot {

class IniFileHandler;

// Where a fixture's serial numbers come from. A number is stored as given
// out (durably) before it goes into the fixture, so that a crash can leave
// a gap, never a duplicate.
class SerialNumberSource {
public:
    virtual ~SerialNumberSource() = default;

    // Whether numbers can be given out now; a fixture run asks right after
    // detection, before boot mode. Failed, saying why, when they cannot.
    virtual Outcome Ready() { return Outcome::Ok(); }

    // A number given out safely: stored as given before this returns.
    struct Given {
        std::int32_t number = StandIn; // what goes into the fixture
        QStringList warnings;          // a number was given out, but a doubtful one
    };
    // Failed, saying why, when no number could be given out safely (then
    // nothing may be written into the fixture).
    virtual Result<Given> Take() = 0;

    // The number a fixture gets when the counter holds none.
    static constexpr std::int32_t StandIn = 65535;
};

// The counter "Velmsettings"/"Serial" of setup.ini, under the settings lock
// from reading the number to storing the next one. A number whose value,
// rounded half to even, fits 32 bits is given out and the value plus one
// stored (synced); any other text gives the stand-in 65535 and leaves the
// setting as it is.
class SettingsSerialNumbers final : public SerialNumberSource {
public:
    explicit SettingsSerialNumbers(const IniFileHandler& ini) : ini_(ini) {}
    Result<Given> Take() override;

private:
    const IniFileHandler& ini_;
};

} // namespace vlboot
