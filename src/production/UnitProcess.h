#pragma once

#include "FirmwareCheck.h"
#include "UnitEvents.h"
#include "UnitRecord.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace vlboot {

// What a unit's events have told so far.
struct UnitState {
    QString kind;    // "amplifier", "fixture" or "" (not known yet)
    QString caption; // the latest caption
    int percent = 0;
    double bytes = 0;
    double total = 0;
    int exchanges = 0;
    std::optional<double> rateStart; // seconds after the start when bytes first moved
    double rateStartBytes = 0;
    bool ended = false; // its result is known
    double endTime = 0; // seconds after the start when it came
    int status = -1;    // its exit status once ended
    QString why;
    std::optional<qint64> serial;
    double seconds = 0; // the run's duration

    // Takes in one of its events, `now` seconds after the unit's start.
    void Apply(const UnitEvent& event, double now);
    // "success", "fault", "timeout", "stopped" once ended; "" before.
    QString Outcome() const;
};

// What every unit of one line has in common: the program and options of
// its vlboot-cli (to which --port and the file are added), the firmware
// file as it was checked, and where a unit's record goes when its program
// dies without keeping it.
struct UnitCommand {
    QString program;       // vlboot-cli
    QStringList arguments; // --config-dir, --json, --quiet, the run's options
    QString firmwareFile;  // absolute
    qint64 firmwareSize = -1;
    QByteArray firmwareSha256;
    QString configDir;
    QString recordFile; // "" for runs.csv in the settings folder
    QString database;   // "" for none
};

// The vlboot-cli `program` of a unit of a line working from `configDir`:
// --json --quiet --one-number-each for the checked `file`, its record in
// runs.csv; the caller adds what it overrides.
UnitCommand UnitCommandFor(const QString& program, const QString& configDir, const QString& file, const FirmwareCheckResult& check);

// One unit's run in a vlboot-cli of its own (see decisions.md: one process
// per unit), followed through its JSON events: a unit that faults, hangs
// or crashes ends or stalls only its own process. When the process ends
// without its result (it crashed or was killed), the unit counts as a
// fault, or as stopped when a stop passed on reached it before its run
// began, and its record is made from what its events told and kept here.
// Needs an event loop.
class UnitProcess : public QObject {
    Q_OBJECT
public:
    UnitProcess(const UnitCommand& command, QString port, UnitPlace place, QObject* parent = nullptr);
    ~UnitProcess() override;

    void Start();
    // Passes the stop signal `signal` on to the unit's program.
    void Stop(int signal);
    bool Running() const;

    const QString& Port() const { return port_; }
    const UnitState& State() const { return state_; }
    // Seconds since Start, and when that was.
    double Elapsed() const { return clock_.nsecsElapsed() / 1e9; }
    const QDateTime& StartedAt() const { return startedAt_; }

signals:
    // Each event as it came (the object as written, without "port").
    void Event(const vlboot::UnitEvent& event);
    // A line of the unit's standard error, or what is said about its end.
    void Notice(const QString& line);
    // The unit's result is known (reported, or made up for a lost unit).
    void Ended();
    // Its program has ended too (after Ended): the port is free again.
    void Done();

private:
    void readOut();
    void readErr();
    void finished();
    void lost();

    UnitCommand command_;
    QString port_;
    UnitPlace place_;
    std::unique_ptr<QProcess> process_;
    QByteArray out_; // the start of a line not complete yet
    QByteArray err_;
    QElapsedTimer clock_;
    QDateTime startedAt_;
    UnitState state_;
    bool collected_ = false;
    int stopSignal_ = 0; // the stop passed on to it
};

} // namespace vlboot
