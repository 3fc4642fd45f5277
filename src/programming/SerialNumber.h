#pragma once

#include "Outcome.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vlboot {

class IniFileHandler;

// Where a fixture's serial numbers come from. A number is stored as given
// out (durably) before it goes into the fixture, so that a crash can leave
// a gap, never a duplicate.
class SerialNumberSource {
public:
    virtual ~SerialNumberSource() = default;

    // Whether a number can be given out now; a fixture run asks right after
    // detection, before boot mode. Failed, saying why, when it cannot.
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

// What the counter "Velmsettings"/"Serial" of setup.ini holds, judged.
struct SerialCounter {
    QString stored;                     // the setting as it stands
    std::optional<std::int32_t> number; // what the fixture gets: the value rounded half to even; none: the stand-in
    QString next;                       // what is stored after giving `number` out: the value plus one
    bool exhausted = false;             // `next` would give no number: nothing may be given out
    // Why it cannot give every unit a number of its own (not a whole
    // number, the stand-in, negative); "" when it can.
    QString problem;
};
SerialCounter ReadSerialCounter(const IniFileHandler& ini);

// The counter "Velmsettings"/"Serial" of setup.ini, under the settings lock
// from reading the number to storing the next one. A fixture gets the value
// rounded half to even and the value plus one is stored (synced); a text
// that is no number, or one beyond 32 bits, gives the stand-in 65535 and
// leaves the setting as it is; each of these, a negative number and a
// number that is not whole get a precise warning. A counter whose next
// value would give no number (2147483647) gives nothing: the run ends
// before boot mode, so that no value the next run refuses is ever stored.
//
// Ready also proves that setup.ini can be locked and written before boot
// mode (a full disk or a read-only folder is found there, not after the
// whole image). With `oneNumberEach` (the units of a production line) a
// counter with a problem is refused there too.
class SettingsSerialNumbers final : public SerialNumberSource {
public:
    explicit SettingsSerialNumbers(const IniFileHandler& ini, bool oneNumberEach = false)
        : ini_(ini)
        , oneNumberEach_(oneNumberEach)
    {
    }
    Outcome Ready() override;
    Result<Given> Take() override;

private:
    const IniFileHandler& ini_;
    bool oneNumberEach_;
};

} // namespace vlboot
