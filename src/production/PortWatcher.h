#pragma once

#include "ProgrammingSession.h"
#include "UnitProcess.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <memory>

namespace vlboot {

// What one watched port is doing.
enum class PortState {
    Waiting,     // no unit on it: the detection request is sent a few times a second
    Programming, // a unit is being programmed by a vlboot-cli of its own
    Passed,      // its last unit passed and is still on the port
    Failed,      // its last unit failed and is still on the port
    Absent,      // the port's device is not there (an adapter unplugged)
    Held,        // another program holds the port
};
QString PortStateName(PortState state); // "waiting", "programming", "passed", "failed", "absent", "held"

// The last unit a port had.
struct UnitOutcome {
    QString port;
    QString outcome; // "success", "fault", "timeout", "stopped"
    QString deviceKind;
    std::optional<qint64> serialNumber;
    QString why;
    double seconds = 0;
    QDateTime ended;
    bool Passed() const { return outcome == QLatin1String("success"); }
};

// Watches one port of a production line: it sends the run's detection
// request a few times a second (opening the port only for it, waiting a
// short time for the reply, closing it again), programs a unit the moment
// one answers, by a vlboot-cli of its own (UnitProcess), and then waits
// until that unit stops answering (it was taken off) before it waits for
// the next one. So a unit is never programmed twice without leaving in
// between; a unit must be off the port for MissesForDeparture detection
// requests in a row (three quarters of a second) to count as gone. A port whose device is not there or
// is held by another program says so once and goes on watching, more
// slowly; a unit that had ended before another program took the port still
// has to leave before the next is programmed (a device that went away may
// come back with another unit: it is waited for afresh). Needs an event loop.
class PortWatcher : public QObject {
    Q_OBJECT
public:
    // `port` as --port names it, `device` the device it stands for.
    PortWatcher(const QString& configDir, QString port, QString device, const Settings::Line& line, UnitCommand command,
                UnitPlace place, QObject* parent = nullptr);
    ~PortWatcher() override;

    void Start();
    // No new unit is begun while paused; a unit in progress goes on.
    void SetPaused(bool paused);
    // Passes a stop signal to the unit in progress and watches no more.
    void Stop(int signal);

    const QString& Port() const { return port_; }
    PortState State() const { return state_; }
    // The unit in progress (nullptr when none).
    const UnitProcess* Unit() const { return unit_.get(); }
    const std::optional<UnitOutcome>& Last() const { return last_; }
    int Passed() const { return passed_; }
    int Failed() const { return failed_; }
    // Why the port is absent or held.
    const QString& Detail() const { return detail_; }

    static constexpr int ProbeIntervalMs = 250;   // from one request's start to the next: four a second
    static constexpr int ProbeReplyMs = 200;      // a detection reply comes within milliseconds
    static constexpr int AbsentIntervalMs = 1000; // a missing or held port is asked less often
    static constexpr int MissesForDeparture = 2;

signals:
    void Changed();
    void UnitStarted(const vlboot::UnitProcess* unit);
    void UnitEvent(const vlboot::UnitProcess* unit, const vlboot::UnitEvent& event);
    void UnitEnded(const vlboot::UnitOutcome& outcome);
    void Notice(const QString& line);
    // A stopped watcher with no unit in progress.
    void Finished();

private:
    void probe();
    void replyArrived();
    void replyTimedOut();
    void answered(bool present);
    void startUnit();
    void unitEnded();
    void unitDone();
    void setState(PortState state, const QString& detail = {});
    void schedule(int ms);

    QString port_;
    UnitCommand command_;
    UnitPlace place_;
    ProgrammingSession session_;
    QTimer next_;
    QTimer reply_;
    std::unique_ptr<UnitProcess> unit_;
    PortState state_ = PortState::Waiting;
    std::optional<UnitOutcome> last_;
    QString detail_;
    int misses_ = 0;
    bool unitStays_ = false; // the last unit has ended and has not been seen leaving
    int passed_ = 0;
    int failed_ = 0;
    bool probing_ = false;
    bool paused_ = false;
    bool stopped_ = false;
};

} // namespace vlboot
