#pragma once

#include "Outcome.h"
#include "ProductionSetup.h"
#include "ProgrammingSession.h"
#include "RunRecord.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace vlboot {

class Link;
class WaitClock;

// How a front end sets its station up: the settings folder and what its
// command line overrides for its runs (nothing of that reaches setup.ini).
struct StationSetup {
    StationSetup(QString folder, QString programName) : configDir(std::move(folder)), program(std::move(programName)) {}

    QString configDir;
    QString program;                        // "vlboot" or "vlboot-cli": the records' program
    QString device;                         // a device path named instead of COMn ("" for none)
    std::optional<int> comPort;             // 1..16
    std::optional<std::uint8_t> speedIndex; // 0..2
    std::optional<QString> address;
    std::optional<double> replyTimeout;     // seconds
    std::optional<QString> database;        // replaces Database= of [Production]
    QString recordFile;                     // "": runs.csv in the settings folder
    bool strict = false;                    // a warning makes the unit a fault
    bool log = false;                       // the traffic log on from the start
    // A fixture is refused before boot mode unless the counter of setup.ini
    // gives it a number of its own (the units of a production line).
    bool oneNumberEach = false;
    // The only firmware to program (--expect-sha256); else FirmwareSha256=
    // of [Production]; "" for any.
    QByteArray expectSha256;
};

// The end of one unit's run, as every front end reports it.
struct UnitResult {
    RunOutcome outcome = RunOutcome::Fault;
    int status = 0;       // the exit status (ExitStatus.h): 0, 1, 2 or 128 + the stop signal
    QString why;          // how it ended when it did not succeed ("" on success): the record's reason
    QStringList warnings; // doubtful points of the run
    std::optional<std::int32_t> serialNumber;
    QString deviceKind;
    int exchanges = 0;
    std::optional<double> medianRttMs; // nothing without any exchange
    double seconds = 0;                // the run's own duration
    Outcome kept;                      // the record kept (with its notes), or why not
    bool strictFault = false;          // a success made a fault by its warnings (--strict)
};

// What a front end shows of a station's unit: the run as it goes
// (RunView), the serial link's message boxes, and the end.
class StationView : public RunView {
public:
    // A message box of the serial link (an open failure).
    virtual void ShowMessage(const QString& title, const QString& text) = 0;
    // The unit's end, once its record is kept (and, for a run that failed,
    // after the failure box).
    virtual void Finish(const UnitResult& result) { (void)result; }
};

// A station: everything one front end needs to program units, wired once
// for the window, vlboot-cli and each unit of a production line. It owns
// the programming session, reads setup.ini at start-up as the window does,
// chooses the serial-number source (the counter of setup.ini or the
// production database), runs a unit, makes its record and keeps it (synced)
// before the view is told the end.
class Station {
public:
    explicit Station(StationSetup setup);
    // A station over another link and clock (a device model in the tests).
    Station(StationSetup setup, std::unique_ptr<Link> link, std::unique_ptr<WaitClock> clock);
    ~Station();

    // The start-up: the settings read in the window's order (missing keys
    // get their defaults, port and speed written back), then the setup's
    // overrides, [Production] and the serial-number source. The settings'
    // menu callbacks, if any, must be set before.
    void StartUp();
    const ProgrammingSession::Startup& Startup() const { return startup_; }
    // What the start-up found wrong with setup.ini, for the front end to say
    // once ("/x/setup.ini is a pipe or FIFO, not a regular file: ...").
    const QStringList& StartupNotes() const { return startupNotes_; }
    const ProductionSetup& Production() const { return production_; }
    // The production database in use ("" for none).
    const QString& Database() const { return database_; }
    // The file a run programs when none is given: the FirmwareFile setting.
    QString FirmwareFile(const QString& given) const;

    ProgrammingSession& Session() { return session_; }
    Settings& settings() { return session_.settings(); }
    const Settings& settings() const { return session_.settings(); }
    Link& link() { return session_.link(); }

    // One unit: the run of `fileName` shown through `view`; its record kept
    // before the view is told the end (the failure box, then Finish).
    UnitResult Program(const QString& fileName, StationView& view);

    // Asks the run in progress to stop (`by`: "SIGTERM", "Exit"); a
    // fixture's serial-number step runs to its end first. `signal` gives
    // the exit status (0: none).
    void RequestStop(const QString& by, int signal = 0);
    bool StopShielded() { return session_.Stop().Shielded(); }

private:
    UnitResult finish(const RunReport& run);
    QString reasonOf(const RunReport& run, RunOutcome outcome) const;

    StationSetup setup_;
    ProgrammingSession session_;
    ProgrammingSession::Startup startup_;
    QStringList startupNotes_;
    ProductionSetup production_;
    QString database_;
    std::shared_ptr<ProductionDatabase> serialDatabase_; // the fixtures' numbers' (null: setup.ini's counter)
    QString portHint_;
    QString stopBy_;
    int stopSignal_ = 0;
};

} // namespace vlboot
