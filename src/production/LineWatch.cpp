#include "LineWatch.h"

#include <QJsonValue>
#include <cmath>

namespace vlboot {
namespace {

// Local time with its UTC offset.
QString isoTime(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString PortStateDetail(const PortWatcher& port)
{
    switch (port.State()) {
    case PortState::Programming:
        return port.Unit() ? QStringLiteral("%1%  %2").arg(port.Unit()->State().percent).arg(port.Unit()->State().caption) : QString();
    case PortState::Passed:
        return port.Last() && port.Last()->serialNumber ? QStringLiteral("serial %1").arg(*port.Last()->serialNumber) : QString();
    case PortState::Failed: return port.Last() ? port.Last()->why : QString();
    case PortState::Absent:
    case PortState::Held: return port.Detail();
    case PortState::Waiting: break;
    }
    return {};
}

LineWatch::LineWatch(WatchSetup setup, const std::vector<Port>& ports, QObject* parent)
    : QObject(parent)
    , setup_(std::move(setup))
{
    for (const Port& p : ports) {
        auto watcher = std::make_unique<PortWatcher>(setup_.configDir, p.port, p.device, setup_.line, setup_.command, p.place);
        const PortWatcher* w = watcher.get();
        connect(w, &PortWatcher::Changed, this, [this, w] { portChanged(w); });
        connect(w, &PortWatcher::UnitEvent, this, [this, w](const UnitProcess*, const vlboot::UnitEvent& e) {
            emit UnitEvent(w, e);
            QJsonObject event = e.object;
            event.insert(QStringLiteral("port"), w->Port());
            emit StationEvent(event);
            if (e.kind == vlboot::UnitEvent::Kind::Progress || e.kind == vlboot::UnitEvent::Kind::Caption)
                portChanged(w);
        });
        connect(w, &PortWatcher::UnitEnded, this, [this](const UnitOutcome& outcome) { unitEnded(outcome); });
        connect(w, &PortWatcher::Notice, this, [this, w](const QString& line) { emit Notice(w->Port(), line); });
        connect(w, &PortWatcher::Finished, this, [this] {
            if (++finished_ == static_cast<int>(ports_.size()))
                emit Finished();
        });
        ports_.push_back(std::move(watcher));
    }
}

LineWatch::~LineWatch() = default;

void LineWatch::portChanged(const PortWatcher* port)
{
    emit PortChanged(port);
    const QString shown = PortStateName(port->State()) + QLatin1Char(' ')
        + (port->State() == PortState::Programming ? QString() : PortStateDetail(*port));
    if (shown_[port] == shown)
        return; // progress only: the unit's own events say it
    shown_[port] = shown;
    emit PortStateChanged(port);
    QJsonObject event = PortJson(*port);
    event.insert(QStringLiteral("event"), QStringLiteral("port"));
    emit StationEvent(event);
}

void LineWatch::unitEnded(const UnitOutcome& outcome)
{
    last_.push_back(outcome);
    if (last_.size() > KeptUnits)
        last_.pop_front();
    emit UnitEnded(outcome);
    QJsonObject event = TotalsJson();
    event.insert(QStringLiteral("event"), QStringLiteral("totals"));
    emit StationEvent(event);
}

void LineWatch::Start()
{
    clock_.start();
    for (auto& port : ports_)
        port->Start();
    if (ports_.empty())
        QTimer::singleShot(0, this, [this] { emit Finished(); });
}

void LineWatch::SetPaused(bool paused)
{
    paused_ = paused;
    for (auto& port : ports_)
        port->SetPaused(paused);
}

void LineWatch::Stop(int signal)
{
    if (stopping_)
        return;
    stopping_ = true;
    for (auto& port : ports_)
        port->Stop(signal);
}

int LineWatch::Passed() const
{
    int n = 0;
    for (const auto& port : ports_)
        n += port->Passed();
    return n;
}

int LineWatch::Failed() const
{
    int n = 0;
    for (const auto& port : ports_)
        n += port->Failed();
    return n;
}

double LineWatch::UnitsPerHour() const
{
    const double hours = clock_.isValid() ? clock_.elapsed() / 3600000.0 : 0;
    const int units = Passed() + Failed();
    return units > 0 && hours > 0 ? std::round(units / hours * 10) / 10 : 0;
}

QJsonObject LineWatch::PortJson(const PortWatcher& port) const
{
    QJsonObject o{{QStringLiteral("port"), port.Port()},
                  {QStringLiteral("state"), PortStateName(port.State())},
                  {QStringLiteral("passed"), port.Passed()},
                  {QStringLiteral("failed"), port.Failed()}};
    if (!port.Detail().isEmpty())
        o.insert(QStringLiteral("detail"), port.Detail());
    // A unit that has ended is no longer in progress, though it stays on the fixture.
    const UnitProcess* unit = port.State() == PortState::Programming ? port.Unit() : nullptr;
    o.insert(QStringLiteral("percent"), unit ? unit->State().percent : 0);
    o.insert(QStringLiteral("unit"), unit ? QJsonValue(QJsonObject{{QStringLiteral("device"), unit->State().kind},
                                                                   {QStringLiteral("caption"), unit->State().caption},
                                                                   {QStringLiteral("started"), isoTime(unit->StartedAt())}})
                                          : QJsonValue());
    const auto& last = port.Last();
    o.insert(QStringLiteral("last"),
             last ? QJsonValue(QJsonObject{{QStringLiteral("outcome"), last->outcome},
                                           {QStringLiteral("serial_number"), last->serialNumber ? QJsonValue(*last->serialNumber) : QJsonValue()},
                                           {QStringLiteral("why"), last->why.isEmpty() ? QJsonValue() : QJsonValue(last->why)},
                                           {QStringLiteral("ended"), isoTime(last->ended)}})
                  : QJsonValue());
    return o;
}

QJsonObject LineWatch::TotalsJson() const
{
    return QJsonObject{{QStringLiteral("passed"), Passed()},
                       {QStringLiteral("failed"), Failed()},
                       {QStringLiteral("units_per_hour"), UnitsPerHour()}};
}

} // namespace vlboot
