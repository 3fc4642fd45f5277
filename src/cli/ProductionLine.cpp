#include "ProductionLine.h"

#include "CliEvents.h"
#include "CliRun.h"
#include "DatabaseCommands.h"
#include "FirmwareCheck.h"
#include "Platform.h"
#include "PortProbe.h"
#include "ProgressBar.h"
#include "RecordOfRun.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace vlboot::cli {
namespace {

QByteArray textLine(const QString& text)
{
    return text.toLocal8Bit() + '\n';
}

// One unit: its port, the vlboot-cli that programs it, and what it has
// reported so far.
struct Unit {
    QString port;
    std::unique_ptr<QProcess> process;
    QByteArray out; // the start of a line not complete yet
    QByteArray err;
    QString kind;
    QString caption;
    int percent = 0;
    double bytes = 0;
    double total = 0;
    std::optional<double> rateStart;
    double rateStartBytes = 0;
    bool ended = false;     // its result is known
    double endTime = 0;     // when it came
    bool collected = false; // its program's end was handled
    int status = -1;
    QString why;
    QString serial;
    double seconds = 0;
};

class Line {
public:
    Line(const CliOptions& options, const QString& configDir, const CliOutput& output, LineTerminal terminal)
        : options_(options)
        , configDir_(configDir)
        , output_(output)
        , live_(terminal.stderrIsTerminal && !options.quiet)
        , captions_(!options.json && !(live_ && terminal.stdoutIsTerminal))
    {
        clock_.start();
    }

    int Run(const QString& file, const FirmwareCheckResult& check, const QStringList& ports, int stopSignalFd);

private:
    void start(Unit& unit, const QString& file);
    void readOut(Unit& unit);
    void readErr(Unit& unit);
    void event(Unit& unit, const QByteArray& line);
    void finished(Unit& unit);
    void stop();
    // A line of its own on standard error, above the live lines.
    void notice(const QString& line);
    void draw();
    void clearLive();
    QString liveText(const Unit& unit) const;
    void resultsTable();
    int exitStatus() const;
    double now() const { return clock_.nsecsElapsed() / 1e9; }

    const CliOptions& options_;
    QString configDir_;
    const CliOutput& output_;
    const bool live_;
    const bool captions_;
    QString file_;
    FirmwareCheckResult check_;
    std::vector<Unit> units_;
    QElapsedTimer clock_;
    QEventLoop loop_;
    int drawnLines_ = 0;
    bool dirty_ = false;
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
    if (live_) {
        QObject::connect(&redraw, &QTimer::timeout, [this] {
            if (dirty_)
                draw();
        });
        redraw.start(static_cast<int>(ProgressBar::MinRedrawSeconds * 1000));
        draw();
    }
    for (Unit& unit : units_)
        start(unit, file);
    if (running_ > 0)
        loop_.exec();
    redraw.stop();
    if (live_)
        draw();
    if (!options_.quiet)
        resultsTable();
    return exitStatus();
}

void Line::start(Unit& unit, const QString& file)
{
    QStringList args{QStringLiteral("--config-dir"), configDir_, QStringLiteral("--port"), unit.port, QStringLiteral("--json"),
                     QStringLiteral("--quiet"), QStringLiteral("--reply-timeout"), QString::number(options_.replyTimeout)};
    if (options_.speedIndex)
        args << QStringLiteral("--speed") << QString::number(BaudRates.at(*options_.speedIndex));
    if (options_.address)
        args << QStringLiteral("--address") << *options_.address;
    if (options_.log)
        args << QStringLiteral("--log");
    if (options_.strict)
        args << QStringLiteral("--strict");
    if (!options_.recordFile.isEmpty())
        args << QStringLiteral("--record") << QFileInfo(options_.recordFile).absoluteFilePath();
    if (options_.database)
        args << QStringLiteral("--database") << *options_.database;
    args << file;

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
    process->start(QCoreApplication::applicationFilePath(), args);
}

void Line::readOut(Unit& unit)
{
    unit.out += unit.process->readAllStandardOutput();
    qsizetype end;
    while ((end = unit.out.indexOf('\n')) >= 0) {
        const QByteArray line = unit.out.left(end);
        unit.out.remove(0, end + 1);
        event(unit, line);
    }
}

void Line::readErr(Unit& unit)
{
    unit.err += unit.process->readAllStandardError();
    qsizetype end;
    while ((end = unit.err.indexOf('\n')) >= 0) {
        notice(unit.port + QStringLiteral(": ") + QString::fromLocal8Bit(unit.err.left(end)));
        unit.err.remove(0, end + 1);
    }
}

void Line::event(Unit& unit, const QByteArray& line)
{
    QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.isEmpty()) {
        notice(unit.port + QStringLiteral(": ") + QString::fromLocal8Bit(line));
        return;
    }
    const QString name = o.value(QStringLiteral("event")).toString();
    if (name == QLatin1String("caption")) {
        unit.caption = o.value(QStringLiteral("text")).toString();
        if (unit.caption == QLatin1String("Fixtur found"))
            unit.kind = QStringLiteral("fixture");
        else if (unit.caption == QLatin1String("KVX5500+ with Velmora found"))
            unit.kind = QStringLiteral("amplifier");
        if (captions_)
            output_.out(textLine(unit.port + QStringLiteral(": ") + unit.caption));
    } else if (name == QLatin1String("progress")) {
        unit.percent = o.value(QStringLiteral("percent")).toInt();
        unit.bytes = o.value(QStringLiteral("bytes")).toDouble();
        unit.total = o.value(QStringLiteral("total")).toDouble();
        if (!unit.rateStart) {
            unit.rateStart = now();
            unit.rateStartBytes = unit.bytes;
        }
    } else if (name == QLatin1String("result")) {
        unit.ended = true;
        unit.endTime = now();
        unit.status = o.value(QStringLiteral("status")).toInt();
        unit.why = o.value(QStringLiteral("why")).toString();
        const QJsonValue serial = o.value(QStringLiteral("serial_number"));
        unit.serial = serial.isDouble() ? QString::number(serial.toInteger()) : QString();
        unit.seconds = o.value(QStringLiteral("wall_s")).toDouble();
        if (unit.status > 128)
            unit.caption = QStringLiteral("stopped"); // its live line's last word
    }
    dirty_ = true;
    if (options_.json) {
        o.insert(QStringLiteral("port"), unit.port);
        output_.out(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    }
}

void Line::finished(Unit& unit)
{
    if (!unit.process || unit.collected)
        return;
    unit.collected = true;
    readOut(unit);
    readErr(unit);
    if (!unit.ended) {
        // The unit's program ended without its result: it crashed or was
        // killed. Its unit gets a record all the same, and counts as a fault.
        QProcess& p = *unit.process;
        const int signal = platform::StopSignalReceived();
        unit.status = ExitCodes::Fault;
        if (signal && p.exitStatus() == QProcess::CrashExit && p.exitCode() == signal) {
            // The stop passed on reached it before it could take stop signals.
            unit.status = platform::ExitStatusOfSignal(signal);
            unit.caption = QStringLiteral("stopped");
        }
        unit.why = unit.status != ExitCodes::Fault
            ? QStringLiteral("stopped by %1 before its run began").arg(platform::SignalName(signal))
            : p.error() == QProcess::FailedToStart
            ? QStringLiteral("vlboot-cli could not be started for this port (%1)").arg(p.errorString())
            : p.exitStatus() == QProcess::CrashExit
            ? QStringLiteral("vlboot-cli for this port ended by a signal without reporting its end")
            : QStringLiteral("vlboot-cli for this port ended with exit status %1 without reporting its end").arg(p.exitCode());
        unit.ended = true;
        unit.endTime = now();
        const RunRecord record = RecordOfLostRun(QStringLiteral("vlboot-cli"), unit.port, file_, check_, unit.caption, unit.why, now());
        RunResult result;
        result.status = unit.status;
        result.why = unit.why;
        result.wallSeconds = now();
        const QString recordNote = KeepRecord(configDir_, options_.recordFile, DatabaseConnection(options_, configDir_), record, result);
        if (!recordNote.isEmpty())
            notice(unit.port + QStringLiteral(": vlboot-cli: ") + recordNote);
        notice(unit.port + QStringLiteral(": why: ") + unit.why);
        if (options_.json) {
            QJsonObject o = QJsonDocument::fromJson(ResultEvent(result)).object();
            o.insert(QStringLiteral("port"), unit.port);
            output_.out(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        }
    }
    unit.process->disconnect();
    dirty_ = true;
    if (--running_ == 0)
        loop_.quit();
}

void Line::stop()
{
    platform::DrainStopSignals();
    const int signal = platform::StopSignalReceived();
    for (Unit& unit : units_) {
        if (unit.process && unit.process->state() != QProcess::NotRunning)
            platform::SendSignal(unit.process->processId(), signal);
    }
}

void Line::notice(const QString& line)
{
    clearLive();
    output_.err(textLine(line));
    if (live_)
        draw();
}

QString Line::liveText(const Unit& unit) const
{
    int portWidth = 4;
    for (const Unit& u : units_)
        portWidth = std::max(portWidth, static_cast<int>(u.port.size()));
    QString rate = QStringLiteral("- B/s");
    QString left = QStringLiteral("-:-- left");
    const double t = unit.ended ? unit.endTime : now(); // an ended unit's rate stays
    if (unit.rateStart && t > *unit.rateStart && unit.bytes > unit.rateStartBytes) {
        const double perSecond = (unit.bytes - unit.rateStartBytes) / (t - *unit.rateStart);
        rate = ProgressBar::RateText(perSecond);
        left = ProgressBar::DurationText(std::max(0.0, unit.total - unit.bytes) / perSecond) + QStringLiteral(" left");
    }
    if (unit.ended)
        left = QString();
    const QString text = QStringLiteral("%1  %2  %3 %4%  %5  %6")
                             .arg(unit.port, -portWidth)
                             .arg(unit.kind.isEmpty() ? QStringLiteral("-") : unit.kind, -9)
                             .arg(unit.caption, -27)
                             .arg(unit.percent, 3)
                             .arg(rate, 10)
                             .arg(left);
    const int columns = output_.columns ? output_.columns() : 0;
    return (columns > 1 ? text.left(columns - 1) : text).trimmed();
}

void Line::draw()
{
    QByteArray bytes;
    if (drawnLines_ > 0)
        bytes += "\x1b[" + QByteArray::number(drawnLines_) + 'A';
    for (const Unit& unit : units_)
        bytes += '\r' + liveText(unit).toLocal8Bit() + "\x1b[K\n";
    drawnLines_ = static_cast<int>(units_.size());
    dirty_ = false;
    output_.err(bytes);
}

void Line::clearLive()
{
    if (!live_ || drawnLines_ == 0)
        return;
    output_.err("\x1b[" + QByteArray::number(drawnLines_) + "A\r\x1b[J");
    drawnLines_ = 0;
}

void Line::resultsTable()
{
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("DEVICE"), QStringLiteral("SERIAL"), QStringLiteral("OUTCOME"),
                             QStringLiteral("TIME"), QStringLiteral("REASON")}};
    for (const Unit& u : units_)
        rows << QStringList{u.port, u.kind.isEmpty() ? QStringLiteral("-") : u.kind, u.serial.isEmpty() ? QStringLiteral("-") : u.serial,
                            OutcomeName(u.status), QStringLiteral("%1 s").arg(u.seconds, 0, 'f', 1), u.why};
    std::vector<qsizetype> widths(6, 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[static_cast<std::size_t>(i)] = std::max(widths[static_cast<std::size_t>(i)], row.at(i).size());
    QByteArray table;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            line += row.at(i).leftJustified(widths[static_cast<std::size_t>(i)]) + QStringLiteral("  ");
        table += textLine((line + row.constLast()).trimmed());
    }
    output_.err(table);
}

int Line::exitStatus() const
{
    const int signal = platform::StopSignalReceived();
    bool fault = false;
    bool timeout = false;
    bool stopped = false;
    for (const Unit& u : units_) {
        fault = fault || u.status == ExitCodes::Fault || u.status == ExitCodes::Usage;
        timeout = timeout || u.status == ExitCodes::Timeout;
        stopped = stopped || u.status > 128;
    }
    if (stopped && signal)
        return platform::ExitStatusOfSignal(signal);
    return fault ? ExitCodes::Fault : timeout ? ExitCodes::Timeout : ExitCodes::Success;
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
    const IniFileHandler ini(SettingsFilePath(configDir));
    QString file = options.firmwareFile;
    if (file.isEmpty())
        file = ini.ReadIni(QStringLiteral("Velmsettings"), QStringLiteral("FirmwareFile"), QStringLiteral("?"));
    // Checked once before any port is touched: a bad file reaches no unit.
    const FirmwareCheckResult check = CheckFirmwareFile(file);
    if (!check.ok) {
        output.err(textLine(QStringLiteral("Error!")) + textLine(QStringLiteral("Fault during upload.")));
        failedBeforeAnyPort(options, output, ExitCodes::Fault, check.why);
        return ExitCodes::Fault;
    }
    file = QFileInfo(file).absoluteFilePath();

    QStringList ports = options.ports;
    if (options.autoPorts) {
        ports.clear();
        const QStringList candidates = ProbeCandidates(ini);
        for (const ProbeAnswer& a : ProbePorts(configDir, candidates, ProbeLineOf(options, ini))) {
            if (a.Answered())
                ports << a.device;
            else if (a.answer == QLatin1String("held"))
                output.err(textLine(QStringLiteral("vlboot-cli: skipped %1: held by another program (%2)").arg(a.device, a.detail)));
        }
        if (platform::StopSignalReceived())
            return platform::ExitStatusOfSignal(platform::StopSignalReceived());
        if (ports.isEmpty()) {
            failedBeforeAnyPort(options, output, ExitCodes::Timeout,
                                QStringLiteral("no device answered the detection request on any of the %1 ports probed")
                                    .arg(candidates.size()));
            return ExitCodes::Timeout;
        }
    }
    Line line(options, configDir, output, terminal);
    return line.Run(file, check, ports, stopSignalFd);
}

} // namespace vlboot::cli
