#include "PortWatcher.h"

#include "DeviceProtocol.h"
#include "Link.h"

namespace vlboot {

QString PortStateName(PortState state)
{
    switch (state) {
    case PortState::Waiting: return QStringLiteral("waiting");
    case PortState::Programming: return QStringLiteral("programming");
    case PortState::Passed: return QStringLiteral("passed");
    case PortState::Failed: return QStringLiteral("failed");
    case PortState::Absent: return QStringLiteral("absent");
    case PortState::Held: return QStringLiteral("held");
    }
    return {};
}

PortWatcher::PortWatcher(const QString& configDir, QString port, QString device, const Settings::Line& line,
                         UnitCommand command, UnitPlace place, QObject* parent)
    : QObject(parent)
    , port_(std::move(port))
    , command_(std::move(command))
    , place_(std::move(place))
    , session_(configDir, [device](int) { return device; })
{
    Settings& settings = session_.settings();
    settings.ComPort = 1;
    settings.ComSpeed = line.speedIndex;
    settings.DevAdr = line.address;
    next_.setSingleShot(true);
    reply_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, &PortWatcher::probe);
    connect(&reply_, &QTimer::timeout, this, &PortWatcher::replyTimedOut);
    session_.link().BytesArrived = [this] { replyArrived(); };
}

PortWatcher::~PortWatcher()
{
    session_.link().BytesArrived = nullptr;
}

void PortWatcher::Start()
{
    schedule(0);
}

void PortWatcher::SetPaused(bool paused)
{
    paused_ = paused;
}

void PortWatcher::Stop(int signal)
{
    stopped_ = true;
    next_.stop();
    if (probing_) {
        reply_.stop();
        probing_ = false;
        session_.link().CloseMScomm();
    }
    if (unit_)
        unit_->Stop(signal);
    else
        QTimer::singleShot(0, this, [this] { emit Finished(); });
}

void PortWatcher::schedule(int ms)
{
    if (!stopped_)
        next_.start(ms);
}

void PortWatcher::probe()
{
    if (stopped_ || unit_ || probing_)
        return;
    DeviceProtocol& protocol = session_.protocol();
    protocol.SendDetection();
    const OpenFailure failure = session_.link().LastOpenFailure();
    if (failure.Kind() != PortError::None) {
        session_.link().CloseMScomm();
        const bool held = failure.Kind() == PortError::AlreadyOpen;
        unitStays_ = unitStays_ && held; // a device that went may come back with another unit
        setState(held ? PortState::Held : PortState::Absent, failure.detail.isEmpty() ? failure.message : failure.detail);
        schedule(AbsentIntervalMs);
        return;
    }
    probing_ = true;
    reply_.start(ProbeReplyMs);
    schedule(ProbeIntervalMs); // at a steady rate, from each request's start
    replyArrived(); // a reply may already be in
}

void PortWatcher::replyArrived()
{
    if (!probing_ || !session_.protocol().ReplyComplete())
        return;
    reply_.stop();
    probing_ = false;
    const bool present = session_.protocol().Detected() != DeviceTypes::None;
    session_.link().CloseMScomm();
    answered(present);
}

void PortWatcher::replyTimedOut()
{
    if (!probing_)
        return;
    probing_ = false;
    session_.link().CloseMScomm();
    answered(false);
}

void PortWatcher::answered(bool present)
{
    // The port opens again. A unit that had ended before another program took
    // the port is still on it until it is seen leaving: never programmed twice.
    if (state_ == PortState::Held && unitStays_) {
        misses_ = 0;
        setState(last_->Passed() ? PortState::Passed : PortState::Failed);
    } else if (state_ == PortState::Absent || state_ == PortState::Held) {
        setState(PortState::Waiting);
    }
    if (state_ == PortState::Waiting && present && !paused_) {
        next_.stop();
        startUnit();
        return;
    }
    if (state_ == PortState::Passed || state_ == PortState::Failed) {
        misses_ = present ? 0 : misses_ + 1;
        unitStays_ = misses_ < MissesForDeparture;
        if (!unitStays_)
            setState(PortState::Waiting); // the unit was taken off
    }
}

void PortWatcher::startUnit()
{
    unit_ = std::make_unique<UnitProcess>(command_, port_, place_);
    const UnitProcess* unit = unit_.get();
    connect(unit, &UnitProcess::Event, this, [this, unit](const vlboot::UnitEvent& e) { emit UnitEvent(unit, e); });
    connect(unit, &UnitProcess::Notice, this, [this](const QString& line) { emit Notice(line); });
    // Queued: the unit is let go of once its own signal is over.
    connect(unit, &UnitProcess::Ended, this, &PortWatcher::unitEnded);
    connect(unit, &UnitProcess::Done, this, &PortWatcher::unitDone, Qt::QueuedConnection);
    unit_->Start();
    setState(PortState::Programming);
    emit UnitStarted(unit);
}

void PortWatcher::unitEnded()
{
    if (!unit_)
        return;
    const UnitState& s = unit_->State();
    UnitOutcome outcome{port_, s.Outcome(), s.kind, s.serial, s.why, s.seconds, QDateTime::currentDateTime()};
    (outcome.Passed() ? passed_ : failed_) += 1;
    last_ = outcome;
    misses_ = 0;
    unitStays_ = true;
    setState(outcome.Passed() ? PortState::Passed : PortState::Failed);
    emit UnitEnded(outcome);
}

void PortWatcher::unitDone()
{
    // The unit's program has let the port go: it is watched again.
    if (!unit_)
        return;
    unit_.release()->deleteLater();
    if (stopped_)
        emit Finished();
    else
        schedule(ProbeIntervalMs);
}

void PortWatcher::setState(PortState state, const QString& detail)
{
    if (state == state_ && detail == detail_)
        return;
    const PortState before = state_;
    state_ = state;
    detail_ = detail;
    if (state == PortState::Absent && before != PortState::Absent)
        emit Notice(QStringLiteral("no device (%1); watching on").arg(detail));
    else if (state == PortState::Held && before != PortState::Held)
        emit Notice(QStringLiteral("held by another program (%1); watching on").arg(detail));
    else if ((before == PortState::Absent || before == PortState::Held) && state != PortState::Absent && state != PortState::Held)
        emit Notice(QStringLiteral("the port can be opened again"));
    emit Changed();
}

} // namespace vlboot
