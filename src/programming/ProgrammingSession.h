#pragma once

#include "ProgramModule.h"
#include "Settings.h"
#include "StopRequest.h"

#include <QString>
#include <functional>
#include <memory>

namespace vlboot {

class Bootloader;
class SerialNumberSource;
class DeviceProtocol;
class Link;
class WaitClock;

// Everything a program needs to program firmware, made and owned in one
// place: the settings of setup.ini, the serial link, the clock of the reply
// waits, the device protocol and the bootloader operations on it, the
// serial-number source and the stop request. The station (production/)
// makes one for every front end.
class ProgrammingSession {
public:
    // The programs' session: setup.ini and Log.txt in `configDir`, the real
    // serial link (COMn resolved through `resolver`, by default the [Ports]
    // map of setup.ini) and the steady clock.
    explicit ProgrammingSession(const QString& configDir, std::function<QString(int comPort)> resolver = {});
    // A session over another link and clock (a device model in the tests).
    ProgrammingSession(const QString& configDir, std::unique_ptr<Link> link, std::unique_ptr<WaitClock> clock);
    ~ProgrammingSession();
    ProgrammingSession(const ProgrammingSession&) = delete;
    ProgrammingSession& operator=(const ProgrammingSession&) = delete;

    // The start-up reading of the settings, in the window's order: network
    // address, port and speed (selected, and written back), the debug
    // setting, the remembered firmware file. Missing keys get their defaults.
    struct Startup {
        bool debug = false;   // "AmpCom"/"Debug" holds the debug code
        QString firmwareFile; // "?" when none was chosen yet
    };
    Startup ReadStartup();

    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }
    Link& link() { return *link_; }
    const Link& link() const { return *link_; }
    DeviceProtocol& protocol() { return *protocol_; }
    WaitClock& clock() { return *clock_; }

    // Where fixtures' serial numbers come from: by default the counter of
    // setup.ini.
    void SetSerialNumberSource(std::unique_ptr<SerialNumberSource> source);
    // The only firmware its runs may program (SHA-256, lower-case
    // hexadecimal); "" for any.
    void SetPinnedFirmware(const QByteArray& sha256) { pinnedSha256_ = sha256; }

    // One programming run of `fileName`, shown through `view`, holding the
    // port for the run's length. The account of the run is also kept as
    // Last(). The failure box is not shown (the station shows it).
    const RunReport& Program(const QString& fileName, RunView& view);
    const RunReport& Last() const { return last_; }
    // Complete exchanges of the run in progress (or the last) so far.
    int Exchanges() const { return static_cast<int>(roundTrips_.size()); }

    // Asks the run in progress to stop (Exit, a stop signal): its reply wait
    // ends at once and the run ends quietly, after a fixture's serial-number
    // step. Made before a run, it stops that run before it begins.
    void RequestStop() { stop_.Request(); }
    StopRequest& Stop() { return stop_; }

private:
    void connectParts();

    Settings settings_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<WaitClock> clock_;
    StopRequest stop_;
    std::unique_ptr<DeviceProtocol> protocol_;
    std::unique_ptr<Bootloader> device_;
    std::unique_ptr<SerialNumberSource> serials_;
    QByteArray pinnedSha256_;
    RunReport last_;
    std::vector<double> roundTrips_;
};

} // namespace vlboot
