#pragma once

#include "FirmwareCheck.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace vlboot {

// How a programming run ended.
enum class RunOutcome {
    Success, // "Done with succes"
    Fault,   // "Fault": a bad file or setting, a refused request, a bad boot-mode frame
    Timeout, // "COM timeout": a request got no complete reply in time
    Stopped, // a stop was requested (Exit, a stop signal): the run ended quietly
};

// What has been done to the module so far, for the account of a run that
// did not reach its end.
enum class ModuleState {
    Untouched,  // nothing sent that changes the module
    InBootMode, // boot mode entered
    Erased,     // (amplifier) erases sent
    Written,    // firmware data sent into its memory
    Programmed, // every record written and (amplifier) every block programmed
    CrcStored,  // (amplifier) the flash CRC write answered
    Left,       // boot mode left
};

// The fixture's serial number: given out by the counter (which has moved
// past it), and what is known of its memory write.
struct SerialNumberStep {
    enum class Write {
        NotSent,   // given out, but the write was never sent
        NoReply,   // sent, without a complete reply: the fixture may or may not hold it
        Refused,   // the fixture answered with a fault
        Confirmed, // the fixture confirmed the write
    };
    std::optional<std::int32_t> number; // nothing when none was given out
    Write write = Write::NotSent;
};

// The account of one programming run: how it ended and what is known of the
// unit. Everything a front end says about a run, and the unit's record, is
// made from it.
struct RunReport {
    QString fileName;
    RunOutcome outcome = RunOutcome::Fault;
    std::uint8_t deviceType = 0; // DeviceTypes; 0 when the run ended before detection
    QString caption;             // the last caption shown
    QString step;                // where the run was when it ended
    QString why;                 // why it did not succeed, with the notes that explain it ("" on success)
    QStringList warnings;        // doubtful points of a run that went on
    FirmwareCheckResult check;   // the checking pass of the file
    ModuleState module = ModuleState::Untouched;
    SerialNumberStep serial;
    std::vector<double> roundTrips; // seconds from each send to its complete reply
    double seconds = 0;             // from the run's start to its end

    // For a stopped run: "while STEP; what the module is left with".
    QString StopReport() const;
    // What is known of the module, in one sentence.
    QString ModuleText() const;
};

} // namespace vlboot
