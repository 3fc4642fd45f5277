#pragma once

#include "RunView.h"

#include <QString>
#include <cstdint>

namespace vlboot {

class Bootloader;
class Settings;

// How a programming run ended.
enum class RunOutcome {
    Success, // "Done with succes"
    Fault,   // "Fault": a bad file, a refused request, a bad boot-mode frame
    Timeout, // "COM timeout": a request got no complete reply in time
};

// One programming run: detects the device, checks the file, puts the device
// into boot mode, (amplifier) erases its flash blocks, streams the file's
// records into module memory with a block program at every block change,
// stores the flash CRC (amplifier) or the next serial number (fixture) and
// leaves boot mode. Reports through `view`; stops at the first time-out or
// fault with the failure box.
class ProgrammingRun {
public:
    ProgrammingRun(Bootloader& device, Settings& settings, RunView& view);

    // True at the success end.
    bool ProgramModule(const QString& fileName);

    RunOutcome Outcome() const { return outcome_; }

    // How long the run waits for the amplifier's boot-mode frame.
    static constexpr double BootConfirmSeconds = 2.0;

private:
    class Pass;
    friend class Pass;

    bool checkFile(const QString& fileName);
    bool enterBootMode();
    bool confirmBootMode();
    bool eraseBlocks();
    bool writeSerialNumber();

    // Judges OpState after an operation: true when it succeeded; otherwise
    // takes the time-out end (4) or the fault end, explaining `what`.
    bool succeeded(const QString& what);
    bool timeoutEnd(const QString& why);
    bool failureEnd(const QString& why);

    Bootloader& device_;
    Settings& settings_;
    RunView& view_;
    double totalBytes_ = 0;
    RunOutcome outcome_ = RunOutcome::Fault;
};

} // namespace vlboot
