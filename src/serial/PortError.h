#pragma once

#include <QString>

namespace vlboot {

// Why a serial port could not be opened. The numbers are those the port
// layer reports and the link's message boxes name.
enum class PortError {
    None,         // it opened
    NotAvailable, // 8002 "Comm Port not available!": no such device
    AlreadyOpen,  // 8005 "Comm Port already open": held by another program or run, or no permission
    NotOpen,      // 8012 "Comm Port not open": the port layer reports the device as not open
    Other,        // 81nn: anything else (see PortErrorNumbers)
};

namespace PortErrorNumbers {
inline constexpr int NotAvailable = 8002;
inline constexpr int AlreadyOpen = 8005;
inline constexpr int NotOpen = 8012;
// Failures of our own beyond the three the messages name: 8100 + a cause
// (8000 + it would make some of them read like 8005 or 8002).
inline constexpr int DeviceFailed = 8106; // the device failed or went away
inline constexpr int NotSerial = 8107;    // not a serial device
inline constexpr int OtherSystem = 8108;  // any other system error
} // namespace PortErrorNumbers

// The failure of one open: its number, the device it was about, the port
// layer's own words and the message the link showed.
struct OpenFailure {
    int number = 0;     // 0: no failure
    QString devicePath; // the device that was to be opened
    QString detail;     // the port layer's own description
    QString message;    // the text of the link's message box

    PortError Kind() const;
    // "Error 8005 on /dev/ttyS0: <detail>"; "" when there was no failure.
    QString ToString() const;
    // The message box text of failure `number`.
    static QString MessageOf(int number);
};

} // namespace vlboot
