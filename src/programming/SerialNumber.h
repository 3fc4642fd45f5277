#pragma once

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
    // detection, before boot mode. False with `why` when they cannot.
    virtual bool Ready(QString& why)
    {
        (void)why;
        return true;
    }

    struct Given {
        bool ok = false;             // a number was given out safely (else `why`)
        std::int32_t number = 65535; // what goes into the fixture
        QString why;                 // why no number could be given out
        QStringList warnings;        // a number was given out, but a doubtful one
    };
    virtual Given Take() = 0;
};

// The counter "Velmsettings"/"Serial" of setup.ini, under the settings lock
// from reading the number to storing the next one. A number whose value,
// rounded half to even, fits 32 bits is given out and the value plus one
// stored (synced); any other text gives the stand-in 65535 and leaves the
// setting as it is.
class SettingsSerialNumbers final : public SerialNumberSource {
public:
    explicit SettingsSerialNumbers(const IniFileHandler& ini) : ini_(ini) {}
    Given Take() override;

private:
    const IniFileHandler& ini_;
};

} // namespace vlboot
