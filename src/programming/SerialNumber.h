#pragma once

#include <QString>
#include <cstdint>

namespace vlboot {

class IniFileHandler;

// The serial-number counter of fixture runs, "Velmsettings"/"Serial".

// Gives out the stored number: reads it and, when it is a number whose
// value rounded half to even fits 32 bits, stores the value plus one, synced
// to disk, before the number goes into a fixture. Any other text gives the
// stand-in 65535 and leaves the setting as it is. A crash after this step can leave a gap, never a duplicate.
// The caller holds the settings lock.
struct SerialNumberGiven {
    std::int32_t number = 65535; // what goes into the fixture
    bool standIn = true;         // 65535: the setting holds no usable number
    bool unreadable = false;     // the settings file exists but cannot be read
    QString stored;              // the text the setting held
    QString next;                // the text to store next ("" with the stand-in)
    bool nextStored = false;     // the counter moved on
};
SerialNumberGiven TakeSerialNumber(const IniFileHandler& ini);

} // namespace vlboot
