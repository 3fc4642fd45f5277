#pragma once

#include "FirmwareCheck.h"
#include "RunView.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vlboot {

class Bootloader;
class DeviceProtocol;
class SerialNumberSource;
class StopRequest;

// How a programming run ended.
enum class RunOutcome {
    Success, // "Done with succes"
    Fault,   // "Fault": a bad file, a refused request, a bad boot-mode frame
    Timeout, // "COM timeout": a request got no complete reply in time
    Stopped, // a stop was requested (Exit, a stop signal): the run ended quietly
};

// What a run of a checked file puts on the line: its request/reply exchanges
// and the bytes of their frames and replies (the amplifier's boot-mode frame
// included).
struct RunTraffic {
    long long exchanges = 0;
    double wireBytes = 0;
    // Seconds on a `baud` line of 10 bit times per byte (8N1), without the
    // module's own working time.
    double WireSeconds(int baud) const { return wireBytes * 10.0 / baud; }
};

// One programming run: detects the device, checks the file, puts the device
// into boot mode, (amplifier) erases its flash blocks, streams the file's
// records into module memory with a block program at every block change,
// stores the flash CRC (amplifier) or gives out the next serial number
// (fixture) and leaves boot mode. Reports through `view`; stops at the first
// time-out or fault with the failure box, and quietly at a stop request.
class ProgrammingRun {
public:
    ProgrammingRun(DeviceProtocol& protocol, Bootloader& device, SerialNumberSource& serials, RunView& view, StopRequest& stop);

    // True at the success end.
    bool ProgramModule(const QString& fileName);

    RunOutcome Outcome() const { return outcome_; }
    // For a stopped run: where it was and what state the module is left in.
    QString StopReport() const;
    // The serial number written into a fixture, when one was.
    std::optional<std::int32_t> SerialNumber() const { return serial_; }

    // 1 fixture, 2 amplifier (a silent or unclear device counts as the
    // amplifier), from detection on.
    std::uint8_t DeviceType = 0;

    // The traffic of a successful run of the checked file into a device of
    // `deviceType` (DeviceTypes::Fixture or Amplifier).
    static RunTraffic Traffic(const FirmwareCheckResult& check, std::uint8_t deviceType);

    // Where the run was when it ended (for a run that did not succeed: the
    // failing step).
    const QString& Step() const { return step_; }
    // The checking pass of the run's file (empty when the run ended before it).
    const FirmwareCheckResult& FileCheck() const { return check_; }

    // How long the run waits for the amplifier's boot-mode frame.
    static constexpr double BootConfirmSeconds = 2.0;

private:
    class Pass;
    friend class Pass;

    // What has been done to the module so far, for the report of a stop.
    enum class ModuleState { Untouched, InBootMode, Erased, Written, Numbered, Left };

    bool checkFile(const QString& fileName);
    bool enterBootMode();
    bool confirmBootMode();
    bool eraseBlocks();
    bool writeSerialNumber();

    // Judges OpState after an operation: true when it succeeded; otherwise
    // ends the run: quietly for a stop, else the time-out end (4) or the
    // fault end, explaining `what`.
    bool succeeded(const QString& what);
    bool stopped();
    bool timeoutEnd(const QString& what);
    bool failureEnd(const QString& why);
    bool faultCaptionEnd(const QString& why);
    void warn(const QString& warning);
    // The bytes in ReceiveBuffer as hexadecimal text (the first few).
    QString replyBytes() const;
    // Why the wait for the reply to `what` ended without a complete reply:
    // no answer, or the bytes that came instead.
    QString replyProblem(const QString& what) const;
    // How the device refused a request: the status of its reply, or the
    // reply that is too short for one.
    QString refusal() const;
    bool refusedWithStatus() const;
    // The status byte of the last complete reply, as "status 0x14".
    QString lastStatusText() const;

    DeviceProtocol& protocol_;
    Bootloader& device_;
    SerialNumberSource& serials_;
    RunView& view_;
    StopRequest& stop_;
    FirmwareCheckResult check_;
    RunOutcome outcome_ = RunOutcome::Fault;
    QString step_;      // what the run is doing, for the report of a stop
    ModuleState module_ = ModuleState::Untouched;
    QStringList notes_; // what a failure's explanation adds: an assumed device, a refused boot-mode entry
    std::optional<std::int32_t> serial_;
};

} // namespace vlboot
