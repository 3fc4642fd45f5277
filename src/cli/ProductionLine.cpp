#include "ProductionLine.h"

#include "DatabaseCommands.h"
#include "ExitStatus.h"
#include "FirmwareCheck.h"
#include "LineDisplay.h"
#include "Platform.h"
#include "PortProbe.h"
#include "ProgressBar.h"
#include "RecordStore.h"
#include "SerialNumber.h"
#include "Settings.h"
#include "UnitRecord.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <vector>

namespace vlboot::cli {
namespace {

QByteArray textLine(const QString& text)
{
    return text.toLocal8Bit() + '\n';
}

class Line {
public:
    Line(const CliOptions& options, const QString& configDir, const CliOutput& output, LineTerminal terminal)
        : options_(options)
        , configDir_(configDir)
        , output_(output)
        , captions_(!options.json && !(terminal.stderrIsTerminal && !options.quiet && terminal.stdoutIsTerminal))
        , display_(output, terminal.stderrIsTerminal && !options.quiet, units_)
    {
        clock_.start();
    }

    int Run(const QString& file, const FirmwareCheckResult& check, const QStringList& ports, int stopSignalFd);

private:
    void start(LineUnit& unit);
    void readOut(LineUnit& unit);
    void readErr(LineUnit& unit);
    void event(LineUnit& unit, const QByteArray& line);
    void finished(LineUnit& unit);
    void lost(LineUnit& unit);
    void stop();
    int exitStatus() const;
    double now() const { return clock_.nsecsElapsed() / 1e9; }

    const CliOptions& options_;
    QString configDir_;
    const CliOutput& output_;
    const bool captions_;
    QString file_;
    FirmwareCheckResult check_;
    std::vector<LineUnit> units_;
    LineDisplay display_;
    QElapsedTimer clock_;
    QEventLoop loop_;
    int running_ = 0;
};

int Line::Run(const QString& file, const FirmwareCheckResult& check, const QStringList& ports, int stopSignalFd)
{
    file_ = file;
    check_ = check;
    units_.resize(static_cast<std::size_t>(ports.size()));
    for (qsizetype i = 0; i < ports.size(); ++i)
        units_[static_cast<std::size_t>(i)].port = ports.at(i);

    std::unique_ptr<QSocketNotifier> stopWatch;
    if (stopSignalFd >= 0) {
        stopWatch = std::make_unique<QSocketNotifier>(stopSignalFd, QSocketNotifier::Read);
        QObject::connect(stopWatch.get(), &QSocketNotifier::activated, [this] { stop(); });
    }
    QTimer redraw;
    if (display_.Live()) {
        QObject::connect(&redraw, &QTimer::timeout, [this] {
            if (display_.Dirty())
                display_.Draw(now());
        });
        redraw.start(static_cast<int>(ProgressBar::MinRedrawSeconds * 1000));
        display_.Draw(now());
    }
    for (LineUnit& unit : units_)
        start(unit);
    if (running_ > 0)
        loop_.exec();
    redraw.stop();
    display_.Draw(now());
    if (!options_.quiet)
        display_.ResultsTable();
    return exitStatus();
}

void Line::start(LineUnit& unit)
{
    QStringList args = UnitArguments(options_, configDir_);
    args << QStringLiteral("--port") << unit.port << file_;
    unit.process = std::make_unique<QProcess>();
    QProcess* process = unit.process.get();
    platform::StartInOwnProcessGroup(*process);
    QObject::connect(process, &QProcess::readyReadStandardOutput, [this, &unit] { readOut(unit); });
    QObject::connect(process, &QProcess::readyReadStandardError, [this, &unit] { readErr(unit); });
    QObject::connect(process, &QProcess::finished, [this, &unit] { finished(unit); });
    QObject::connect(process, &QProcess::errorOccurred, [this, &unit](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished(unit);
    });
    ++running_;
    unit.startTime = now();
    process->start(QCoreApplication::applicationFilePath(), args);
}

void Line::readOut(LineUnit& unit)
{
    unit.out += unit.process->readAllStandardOutput();
    qsizetype end;
    while ((end = unit.out.indexOf('\n')) >= 0) {
        const QByteArray line = unit.out.left(end);
        unit.out.remove(0, end + 1);
        event(unit, line);
    }
}

void Line::readErr(LineUnit& unit)
{
    unit.err += unit.process->readAllStandardError();
    qsizetype end;
    while ((end = unit.err.indexOf('\n')) >= 0) {
        display_.Notice(unit.port + QStringLiteral(": ") + QString::fromLocal8Bit(unit.err.left(end)));
        unit.err.remove(0, end + 1);
    }
}

void Line::event(LineUnit& unit, const QByteArray& line)
{
    const std::optional<CliEvent> e = ParseCliEvent(line);
    if (!e) {
        display_.Notice(unit.port + QStringLiteral(": ") + QString::fromLocal8Bit(line));
        return;
    }
    unit.Apply(*e, now());
    if (e->kind == CliEvent::Kind::Caption && captions_)
        output_.out(textLine(unit.port + QStringLiteral(": ") + unit.caption));
    display_.MarkDirty();
    if (options_.json)
        output_.out(EventLine(e->object, unit.port));
}

void Line::finished(LineUnit& unit)
{
    if (!unit.process || unit.collected)
        return;
    unit.collected = true;
    readOut(unit);
    readErr(unit);
    if (!unit.ended)
        lost(unit);
    unit.process->disconnect();
    display_.MarkDirty();
    if (--running_ == 0)
        loop_.quit();
}

void Line::lost(LineUnit& unit)
{
    // The unit's program ended without its result: it crashed or was
    // killed. Its unit gets a record all the same, from what its events
    // told, and counts as a fault.
    const QProcess& p = *unit.process;
    const int signal = platform::StopSignalReceived();
    LostUnit facts;
    facts.outcome = RunOutcome::Fault;
    unit.status = ExitStatus::Fault;
    if (signal && p.exitStatus() == QProcess::CrashExit && p.exitCode() == signal) {
        // The stop passed on reached it before it could take stop signals.
        facts.outcome = RunOutcome::Stopped;
        unit.status = platform::ExitStatusOfSignal(signal);
        unit.caption = QStringLiteral("stopped");
    }
    unit.why = facts.outcome == RunOutcome::Stopped
        ? QStringLiteral("stopped by %1 before its run began").arg(platform::SignalName(signal))
        : p.error() == QProcess::FailedToStart
        ? QStringLiteral("vlboot-cli could not be started for this port (%1)").arg(p.errorString())
        : p.exitStatus() == QProcess::CrashExit
        ? QStringLiteral("vlboot-cli for this port ended by a signal without reporting its end")
        : QStringLiteral("vlboot-cli for this port ended with exit status %1 without reporting its end").arg(p.exitCode());
    unit.ended = true;
    unit.endTime = now();
    unit.seconds = unit.endTime - unit.startTime;

    facts.place = UnitPlaceOf(options_, configDir_, unit.port);
    facts.firmwareFile = file_;
    facts.firmwareSize = check_.size;
    facts.firmwareSha256 = check_.sha256;
    facts.deviceKind = unit.kind;
    facts.caption = unit.caption;
    facts.serialNumber = unit.serial;
    facts.exchanges = unit.exchanges;
    facts.seconds = unit.seconds;
    facts.reason = unit.why;
    const Outcome kept = KeepRecord(configDir_, options_.recordFile, DatabaseConnection(options_, configDir_), RecordOfLostUnit(facts));
    for (const QString& note : kept.notes())
        display_.Notice(unit.port + QStringLiteral(": vlboot-cli: ") + note);
    if (!kept.ok())
        display_.Notice(unit.port + QStringLiteral(": vlboot-cli: ") + kept.why());
    display_.Notice(unit.port + QStringLiteral(": why: ") + unit.why);
    if (options_.json) {
        RunResult result;
        result.status = unit.status;
        result.why = unit.why;
        result.serialNumber = unit.serial;
        result.deviceKind = unit.kind;
        result.exchanges = unit.exchanges;
        result.wallSeconds = unit.seconds;
        result.recordError = kept.ok() ? QString() : kept.why();
        output_.out(EventLine(ParseCliEvent(ResultEvent(result))->object, unit.port));
    }
}

void Line::stop()
{
    platform::DrainStopSignals();
    const int signal = platform::StopSignalReceived();
    for (LineUnit& unit : units_) {
        if (unit.process && unit.process->state() != QProcess::NotRunning)
            platform::SendSignal(unit.process->processId(), signal);
    }
}

int Line::exitStatus() const
{
    const int signal = platform::StopSignalReceived();
    bool fault = false;
    bool timeout = false;
    bool stopped = false;
    for (const LineUnit& u : units_) {
        fault = fault || u.status == ExitStatus::Fault || u.status == ExitStatus::Usage;
        timeout = timeout || u.status == ExitStatus::Timeout;
        stopped = stopped || u.status > ExitStatus::SignalBase;
    }
    if (stopped && signal)
        return platform::ExitStatusOfSignal(signal);
    return fault ? ExitStatus::Fault : timeout ? ExitStatus::Timeout : ExitStatus::Success;
}

// Two --port values that lead to one device (a link and its target, COMn
// and its [Ports] path) would have two units wait for each other.
QString SameDeviceTwice(const QStringList& ports, const IniFileHandler& ini)
{
    QMap<QString, QString> seen; // device -> the --port value that named it
    for (const QString& port : ports) {
        const QString device = DeviceOfPort(port, ini);
        const QString real = QFileInfo(device).canonicalFilePath();
        const QString key = real.isEmpty() ? device : real;
        if (seen.contains(key))
            return QStringLiteral("--port %1 and --port %2 are the same device (%3): name it once.").arg(seen.value(key), port, key);
        seen.insert(key, port);
    }
    return {};
}

void failedBeforeAnyPort(const CliOptions& options, const CliOutput& output, int status, const QString& why)
{
    output.err(textLine(QStringLiteral("why: ") + why));
    if (options.json) {
        RunResult result;
        result.status = status;
        result.why = why;
        output.out(ResultEvent(result));
    }
}

} // namespace

int RunProductionLine(const CliOptions& options, const QString& configDir, const CliOutput& output, LineTerminal terminal,
                      int stopSignalFd)
{
    QString file = options.firmwareFile;
    if (file.isEmpty())
        file = Settings(configDir).ReadFirmwareFile();
    // Checked once before any port is touched: a bad file reaches no unit.
    const FirmwareCheckResult check = CheckFirmwareFile(file);
    if (!check.ok) {
        output.err(textLine(QStringLiteral("Error!")) + textLine(QStringLiteral("Fault during upload.")));
        failedBeforeAnyPort(options, output, ExitStatus::Fault, check.why);
        return ExitStatus::Fault;
    }
    file = QFileInfo(file).absoluteFilePath();

    QStringList ports = options.ports;
    if (const QString twice = SameDeviceTwice(ports, IniFileHandler(SettingsFilePath(configDir))); !twice.isEmpty()) {
        output.err(textLine(QStringLiteral("vlboot-cli: ") + twice));
        return ExitStatus::Usage;
    }
    if (options.autoPorts) {
        ports.clear();
        const IniFileHandler ini(SettingsFilePath(configDir));
        const QStringList candidates = ProbeCandidates(ini);
        for (const ProbeAnswer& a : ProbePorts(configDir, candidates, ProbeLineOf(options, ini))) {
            if (a.Answered())
                ports << a.device;
            else if (a.answer == ProbeAnswer::Held)
                output.err(textLine(QStringLiteral("vlboot-cli: skipped %1: held by another program (%2)").arg(a.device, a.detail)));
        }
        if (platform::StopSignalReceived())
            return platform::ExitStatusOfSignal(platform::StopSignalReceived());
        if (ports.isEmpty()) {
            failedBeforeAnyPort(options, output, ExitStatus::NoDevice,
                                QStringLiteral("no device answered the detection request on any of the %1 ports probed")
                                    .arg(candidates.size()));
            return ExitStatus::NoDevice;
        }
    }
    // Each fixture needs a number of its own: one the counter cannot give is
    // refused before its boot mode (amplifiers need none); said at once.
    if (DatabaseConnection(options, configDir).trimmed().isEmpty()) {
        const SerialCounter counter = ReadSerialCounter(IniFileHandler(SettingsFilePath(configDir)));
        if (!counter.problem.isEmpty() || counter.exhausted)
            output.err(textLine(QStringLiteral("vlboot-cli: fixtures will be refused: %1")
                                    .arg(counter.exhausted ? QStringLiteral("the Serial setting %1 has reached the highest serial number").arg(counter.stored)
                                                           : counter.problem)));
    }
    Line line(options, configDir, output, terminal);
    return line.Run(file, check, ports, stopSignalFd);
}

} // namespace vlboot::cli
