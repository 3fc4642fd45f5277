#pragma once

#include <QString>
#include <cstdint>

namespace vlboot {

class IniFileHandler;

// The serial-number counter of fixture runs, "Velmsettings"/"Serial".

// The stored serial number rounded to a whole number (halves to even);
// 65535 when the text is not a number or does not fit 32 bits.
std::int32_t GetSerialNumber(const IniFileHandler& ini);

// Reads the counter again and, when it is a number, stores it plus one.
struct SerialCount {
    bool numeric = false; // the counter held a number
    bool written = false; // the next number was stored
    QString next;         // the text stored
};
SerialCount CountSerialNumberUp(const IniFileHandler& ini);

} // namespace vlboot
