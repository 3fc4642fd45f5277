#include "UnitProcess.h"

#include "ExitStatus.h"
#include "Platform.h"
#include "RecordStore.h"

#include <QFileInfo>

namespace vlboot {

void UnitState::Apply(const UnitEvent& e, double now)
{
    switch (e.kind) {
    case UnitEvent::Kind::Caption: caption = e.text; break;
    case UnitEvent::Kind::Device: kind = e.text; break;
    case UnitEvent::Kind::SerialNumber: serial = e.number; break;
    case UnitEvent::Kind::Progress:
        percent = e.percent;
        bytes = e.bytes;
        total = e.total;
        exchanges = e.exchanges;
        if (!rateStart) {
            rateStart = now;
            rateStartBytes = bytes;
        }
        break;
    case UnitEvent::Kind::Result:
        ended = true;
        endTime = now;
        status = e.result.status;
        why = e.result.why;
        serial = e.result.serialNumber;
        if (!e.result.deviceKind.isEmpty())
            kind = e.result.deviceKind;
        exchanges = e.result.exchanges;
        seconds = e.result.wallSeconds;
        if (Outcome() == QLatin1String("stopped"))
            caption = QStringLiteral("stopped");
        break;
    default: break;
    }
}

QString UnitState::Outcome() const
{
    return ended ? OutcomeName(status) : QString();
}

UnitCommand UnitCommandFor(const QString& program, const QString& configDir, const QString& file, const FirmwareCheckResult& check)
{
    UnitCommand command;
    command.program = program;
    command.arguments = QStringList{QStringLiteral("--config-dir"), configDir, QStringLiteral("--json"), QStringLiteral("--quiet"),
                                    QStringLiteral("--one-number-each")};
    command.firmwareFile = QFileInfo(file).absoluteFilePath();
    command.firmwareSize = check.size;
    command.firmwareSha256 = check.sha256;
    command.configDir = configDir;
    return command;
}

UnitProcess::UnitProcess(const UnitCommand& command, QString port, UnitPlace place, QObject* parent)
    : QObject(parent)
    , command_(command)
    , port_(std::move(port))
    , place_(std::move(place))
{
}

UnitProcess::~UnitProcess()
{
    if (process_)
        process_->disconnect();
}

void UnitProcess::Start()
{
    process_ = std::make_unique<QProcess>();
    QProcess* p = process_.get();
    platform::StartInOwnProcessGroup(*p);
    connect(p, &QProcess::readyReadStandardOutput, this, &UnitProcess::readOut);
    connect(p, &QProcess::readyReadStandardError, this, &UnitProcess::readErr);
    connect(p, &QProcess::finished, this, &UnitProcess::finished);
    connect(p, &QProcess::started, this, [this] { // a stop that came while it was starting
        if (stopSignal_)
            platform::SendSignal(process_->processId(), stopSignal_);
    });
    connect(p, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished();
    });
    clock_.start();
    startedAt_ = QDateTime::currentDateTime();
    p->start(command_.program, command_.arguments + QStringList{QStringLiteral("--port"), port_, command_.firmwareFile});
}

void UnitProcess::Stop(int signal)
{
    if (!Running())
        return;
    stopSignal_ = signal;
    platform::SendSignal(process_->processId(), signal);
}

bool UnitProcess::Running() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

void UnitProcess::readOut()
{
    out_ += process_->readAllStandardOutput();
    qsizetype end;
    while ((end = out_.indexOf('\n')) >= 0) {
        const QByteArray line = out_.left(end);
        out_.remove(0, end + 1);
        const std::optional<UnitEvent> e = ParseUnitEvent(line);
        if (!e) {
            emit Notice(QString::fromLocal8Bit(line));
            continue;
        }
        state_.Apply(*e, Elapsed());
        emit Event(*e);
        if (e->kind == UnitEvent::Kind::Result)
            emit Ended();
    }
}

void UnitProcess::readErr()
{
    err_ += process_->readAllStandardError();
    qsizetype end;
    while ((end = err_.indexOf('\n')) >= 0) {
        emit Notice(QString::fromLocal8Bit(err_.left(end)));
        err_.remove(0, end + 1);
    }
}

void UnitProcess::finished()
{
    if (!process_ || collected_)
        return;
    collected_ = true;
    readOut();
    readErr();
    if (!state_.ended)
        lost();
    emit Done();
}

void UnitProcess::lost()
{
    // The unit's program ended without its result: it crashed or was
    // killed. Its unit gets a record all the same, from what its events
    // told, and counts as a fault.
    const QProcess& p = *process_;
    const int signal = stopSignal_;
    LostUnit facts;
    state_.status = ExitStatus::Fault;
    if (signal && p.exitStatus() == QProcess::CrashExit && p.exitCode() == signal) {
        // The stop passed on reached it before it could take stop signals.
        facts.outcome = RunOutcome::Stopped;
        state_.status = platform::ExitStatusOfSignal(signal);
        state_.caption = QStringLiteral("stopped");
    }
    state_.why = facts.outcome == RunOutcome::Stopped
        ? QStringLiteral("stopped by %1 before its run began").arg(platform::SignalName(signal))
        : p.error() == QProcess::FailedToStart
        ? QStringLiteral("vlboot-cli could not be started for this port (%1)").arg(p.errorString())
        : p.exitStatus() == QProcess::CrashExit
        ? QStringLiteral("vlboot-cli for this port ended by a signal without reporting its end")
        : QStringLiteral("vlboot-cli for this port ended with exit status %1 without reporting its end").arg(p.exitCode());
    state_.seconds = Elapsed();

    facts.place = place_;
    facts.firmwareFile = command_.firmwareFile;
    facts.firmwareSize = command_.firmwareSize;
    facts.firmwareSha256 = command_.firmwareSha256;
    facts.deviceKind = state_.kind;
    facts.caption = state_.caption;
    facts.serialNumber = state_.serial;
    facts.exchanges = state_.exchanges;
    facts.seconds = state_.seconds;
    facts.reason = state_.why;
    const Outcome kept = KeepRecord(command_.configDir, command_.recordFile, command_.database, RecordOfLostUnit(facts));
    for (const QString& note : kept.notes())
        emit Notice(QStringLiteral("vlboot-cli: ") + note);
    if (!kept.ok())
        emit Notice(QStringLiteral("vlboot-cli: ") + kept.why());
    emit Notice(QStringLiteral("why: ") + state_.why);

    ResultEventData result;
    result.status = state_.status;
    result.why = state_.why;
    result.serialNumber = state_.serial;
    result.deviceKind = state_.kind;
    result.exchanges = state_.exchanges;
    result.wallSeconds = state_.seconds;
    result.recordError = kept.ok() ? QString() : kept.why();
    const UnitEvent e = *ParseUnitEvent(ResultEvent(result));
    state_.Apply(e, Elapsed());
    state_.seconds = facts.seconds;
    emit Event(e);
    emit Ended();
}

} // namespace vlboot
