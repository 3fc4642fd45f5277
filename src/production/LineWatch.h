#pragma once

#include "PortWatcher.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace vlboot {

// What a port says beside its state: the progress and caption of its unit,
// its last unit's serial number or reason, or why it is absent or held.
QString PortStateDetail(const PortWatcher& port);

// What the station says about itself besides its ports.
struct WatchStation {
    QString name;
    QString firmwareFile;
    QByteArray firmwareSha256;
    bool pinned = false;
    QString database;   // "" for none: the serial numbers and records of setup.ini and runs.csv
    QString configDir;
    QString recordFile; // --record, "" for runs.csv
    QString httpToken;  // HttpToken= of [Production] ("" for none; the environment may give one)
};

// What a watched line is given: where its settings are, the line's speed
// and address for the detection requests, and the units' vlboot-cli.
struct WatchSetup {
    QString configDir;
    Settings::Line line;
    UnitCommand command;
};

// A production line left running: every port watched on its own
// (PortWatcher), units programmed as they are placed, the totals kept (per
// port and in all: passed, failed, units per hour) and the last units'
// outcomes. The window and `vlboot-cli --watch` show it; the HTTP server
// reports it. Memory stays flat however many units pass: only the last
// KeptUnits outcomes are kept. Needs an event loop.
class LineWatch : public QObject {
    Q_OBJECT
public:
    // `ports` as --port names them, with the device each stands for and the
    // place its records name.
    struct Port {
        QString port;
        QString device;
        UnitPlace place;
    };
    LineWatch(WatchSetup setup, const std::vector<Port>& ports, QObject* parent = nullptr);
    ~LineWatch() override;

    void Start();
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }
    // Stops watching; units in progress end as a stop ends a run (a
    // serial-number step first); Finished once every port is done.
    void Stop(int signal);
    bool Stopping() const { return stopping_; }

    const std::vector<std::unique_ptr<PortWatcher>>& Ports() const { return ports_; }
    int Passed() const;
    int Failed() const;
    // Units per hour since the start (0 before the first unit ended).
    double UnitsPerHour() const;
    const std::deque<UnitOutcome>& LastUnits() const { return last_; }

    // The port's state as JSON: port, state, detail, percent and unit
    // {device, caption, started} of the unit in progress (0 and null unless
    // programming), last {outcome, serial_number, why, ended} or null,
    // passed, failed. And the totals: passed, failed,
    // units_per_hour.
    QJsonObject PortJson(const PortWatcher& port) const;
    QJsonObject TotalsJson() const;

    static constexpr std::size_t KeptUnits = 50;

signals:
    // A port's state changed (programming progress included).
    void PortChanged(const vlboot::PortWatcher* port);
    // A port's state or what it says beside it changed (progress not).
    void PortStateChanged(const vlboot::PortWatcher* port);
    // An event of the station's --json, as it happens: each port's state
    // ("port": PortJson), each unit's own events with its "port", and the
    // "totals" after each unit.
    void StationEvent(const QJsonObject& event);
    // A unit's own event, with the port it is on.
    void UnitEvent(const vlboot::PortWatcher* port, const vlboot::UnitEvent& event);
    void UnitEnded(const vlboot::UnitOutcome& outcome);
    void Notice(const QString& port, const QString& line);
    void Finished();

private:
    void portChanged(const PortWatcher* port);
    void unitEnded(const UnitOutcome& outcome);

    WatchSetup setup_;
    std::map<const PortWatcher*, QString> shown_; // the state and detail each port last showed
    std::vector<std::unique_ptr<PortWatcher>> ports_;
    std::deque<UnitOutcome> last_;
    QElapsedTimer clock_;
    int finished_ = 0;
    bool paused_ = false;
    bool stopping_ = false;
};

} // namespace vlboot
