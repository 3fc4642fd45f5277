#pragma once

#include "IniFileHandler.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace vlboot {

// The serial ports COM1..COM16.
inline constexpr int PortCount = 16;
// The line speeds in baud, by speed index 0, 1, 2.
inline constexpr std::array<int, 3> BaudRates{9600, 57600, 115200};
inline constexpr int SpeedCount = static_cast<int>(BaudRates.size());
// The longest wait for one reply, in seconds, unless a front end asks for
// another (start-up sets ReplyTimeout to it).
inline constexpr double DefaultReplyTimeout = 12.0;
// The speed index of a baud rate; nothing for any other rate.
std::optional<std::uint8_t> SpeedIndexOf(double baud);

// The path of setup.ini in `folder`.
QString SettingsFilePath(const QString& folder);

// The settings the program works with while it runs, read from setup.ini at
// start-up and written back the moment a command changes them.
class Settings {
public:
    // `configDir` is the folder of setup.ini (and of Log.txt).
    explicit Settings(const QString& configDir);

    IniFileHandler Ini;
    QString ConfigDir;

    QString DevAdr = QStringLiteral("1"); // network address as last read or typed
    std::uint8_t ComPort = 1;             // 1..16 for COM1..COM16
    std::uint8_t ComSpeed = 0;            // 0 = 9600, 1 = 57600, 2 = 115200 baud

    // Told which port and speed item to mark, by whoever shows the menus.
    std::function<void(int port)> OnComPortSelected;
    std::function<void(int index)> OnComSpeedSelected;

    // ComPort = Requested when 1..16, else 1; marks that port; stores the
    // number as asked for (not the one used) as "ComSettings"/"ComPort".
    void SelectComPort(long long Requested);

    // ComSpeed = Index when 0..2, else 0; marks that speed; stores its baud
    // rate as "ComSettings"/"ComSpeed".
    void SelectComSpeed(int Index);

    // Start-up: DevAdr, then ComPort and ComSpeed (each selected and written
    // back), in this order, writing the default of every missing key.
    void ReadComSettings();
    // Start-up: true when "AmpCom"/"Debug" holds the debug code.
    bool ReadDebugSetting() const;
    // Start-up: the remembered firmware file, "?" when none was chosen.
    QString ReadFirmwareFile() const;

    // The commands: the network address as typed (held as typed, stored as
    // its numeric value: "12abc" as 12, "x" as 0), and a chosen firmware file.
    void StoreDevAdr(const QString& entered);
    void StoreFirmwareFile(const QString& path);

    // The speed and address setup.ini holds, read without writing anything
    // (a missing or bad speed is 9600 baud, a missing address "1"): what a
    // run would use, for programs that only look (a port search).
    struct Line {
        std::uint8_t speedIndex = 0;
        QString address = QStringLiteral("1");
    };
    static Line PeekLine(const IniFileHandler& ini);

    // The "Debug" value that shows the traffic window and switches the
    // traffic log on at start-up.
    static constexpr int DebugCode = 73;
};

} // namespace vlboot
