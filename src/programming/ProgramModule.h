#pragma once

#include "RunReport.h"
#include "RunView.h"

#include <QString>
#include <QStringList>

namespace vlboot {

class Bootloader;
class SerialNumberSource;
class StopRequest;
struct Exchange;

// One programming run: detects the device, checks the file, puts the device
// into boot mode, (amplifier) erases its flash blocks, streams the file's
// records into module memory with a block program at every block change,
// stores the flash CRC (amplifier) or gives out the next serial number
// (fixture) and leaves boot mode. Reports through `view`; stops at the first
// time-out or fault, and quietly at a stop request.
//
// A network address that no frame can carry ends the run before anything
// is sent. The failure box of a failed run is not shown here: the station
// shows it once the unit's record is kept.
class ProgrammingRun {
public:
    // `pinnedSha256` (lower-case hexadecimal, "" for none): the only
    // firmware file the run may program; any other is refused after the
    // checking pass, before boot mode.
    ProgrammingRun(Bootloader& device, SerialNumberSource& serials, RunView& view, StopRequest& stop,
                   QByteArray pinnedSha256 = {});

    RunReport ProgramModule(const QString& fileName);

private:
    class Pass;
    friend class Pass;
    // The programming pass (ProgrammingPass.cpp): true when the run closed.
    bool programmingPass(const QString& fileName);

    bool refuseBadAddress();
    bool detect();
    bool checkFile(const QString& fileName);
    bool enterBootMode();
    bool confirmBootMode();
    bool eraseBlocks();
    bool writeSerialNumber();
    bool storeFlashCrc();
    bool leaveBootMode();

    // Judges the exchange of `what`: true when it succeeded; otherwise ends
    // the run: quietly for a stop, else the time-out end or the fault end.
    bool succeeded(const Exchange& exchange, const QString& what);
    bool stopped();
    bool timeoutEnd(const QString& why);
    bool faultCaptionEnd(const QString& why);
    bool failureEnd(RunOutcome outcome, const QString& why);
    void caption(const QString& text);
    void warn(const QString& warning);

    Bootloader& device_;
    SerialNumberSource& serials_;
    RunView& view_;
    StopRequest& stop_;
    QByteArray pinnedSha256_;
    RunReport report_;
    QStringList notes_; // what a failure's explanation adds: an assumed device, a refused boot-mode entry
};

} // namespace vlboot
