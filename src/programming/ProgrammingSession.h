#pragma once

#include "ProgramModule.h"
#include "Settings.h"
#include "StopRequest.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vlboot {

class Bootloader;
class ComForm;
class SerialNumberSource;
class DeviceProtocol;
class Link;
class WaitClock;

// Everything a program needs to program firmware, made and owned in one
// place: the settings of setup.ini, the serial link, the clock of the reply
// waits, the device protocol and the bootloader operations on it, and the
// stop request. The window and the command-line front end each make one and
// differ only in how they show a run.
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
    // The link when it is the real serial port (for its messages, traffic
    // display and log); nullptr otherwise.
    ComForm* SerialPort() const { return serialPort_; }
    DeviceProtocol& protocol() { return *protocol_; }
    WaitClock& clock() { return *clock_; }

    // Where fixtures' serial numbers come from: by default the counter of
    // setup.ini.
    void SetSerialNumberSource(std::unique_ptr<SerialNumberSource> source);

    // One programming run of `fileName`, shown through `view`.
    RunOutcome Program(const QString& fileName, RunView& view);
    // Asks the run in progress to stop (Exit, a stop signal): its reply wait
    // ends at once and the run ends quietly, after a fixture's serial-number
    // step. Made before a run, it stops that run before it begins.
    void RequestStop() { stop_.Request(); }
    StopRequest& Stop() { return stop_; }

    // Of the last run: where it stopped, the serial number it gave out, and
    // the seconds of each complete exchange.
    const QString& StopReport() const { return stopReport_; }
    std::optional<std::int32_t> SerialNumber() const { return serialNumber_; }
    const std::vector<double>& RoundTrips() const { return roundTrips_; }
    // Of the last run, for its record: what it was and how it ended.
    struct LastRun {
        QString fileName;
        RunOutcome outcome = RunOutcome::Fault;
        std::uint8_t deviceType = 0;  // DeviceTypes: 0 when the run ended before detection
        QString caption;              // the last caption it set
        QString failedStep;           // where a run that did not succeed ended ("" on success)
        QString why;                  // its explanation of a failure ("" otherwise)
        FirmwareCheckResult check;    // the checking pass of the file
        double seconds = 0;           // from its start to its end
    };
    const LastRun& Last() const { return last_; }

private:
    void connectParts();

    Settings settings_;
    std::unique_ptr<Link> link_;
    ComForm* serialPort_ = nullptr;
    std::unique_ptr<WaitClock> clock_;
    StopRequest stop_;
    std::unique_ptr<DeviceProtocol> protocol_;
    std::unique_ptr<Bootloader> device_;
    std::unique_ptr<SerialNumberSource> serials_;
    LastRun last_;
    QString stopReport_;
    std::optional<std::int32_t> serialNumber_;
    std::vector<double> roundTrips_;
};

} // namespace vlboot
