#include "ProductionLine.h"

#include "TerminalText.h"

#include "DatabaseCommands.h"
#include "ExitStatus.h"
#include "FirmwareCheck.h"
#include "LineDisplay.h"
#include "LineSetup.h"
#include "PortNames.h"
#include "UnitCommand.h"
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

class Line {
public:
    Line(const CliOptions& options, const QString& configDir, const CliOutput& output, LineTerminal terminal)
        : options_(options)
        , configDir_(configDir)
        , output_(output)
        , captions_(!options.json && !(terminal.stderrIsTerminal && !options.quiet && terminal.stdoutIsTerminal))
        , display_(output, terminal.stderrIsTerminal && !options.quiet)
    {
    }

    int Run(const UnitCommand& command, const QStringList& ports, int stopSignalFd);

private:
    void event(const UnitProcess& unit, const UnitEvent& e);
    void ended();
    void stop();
    void draw();
    void resultsTable();
    int exitStatus() const;

    const CliOptions& options_;
    QString configDir_;
    const CliOutput& output_;
    const bool captions_;
    std::vector<std::unique_ptr<UnitProcess>> units_;
    LineDisplay display_;
    QEventLoop loop_;
    int running_ = 0;
};

int Line::Run(const UnitCommand& command, const QStringList& ports, int stopSignalFd)
{
    for (const QString& port : ports)
        units_.push_back(std::make_unique<UnitProcess>(command, port, UnitPlaceOf(options_, configDir_, port)));

    std::unique_ptr<QSocketNotifier> stopWatch;
    if (stopSignalFd >= 0) {
        stopWatch = std::make_unique<QSocketNotifier>(stopSignalFd, QSocketNotifier::Read);
        QObject::connect(stopWatch.get(), &QSocketNotifier::activated, [this] { stop(); });
    }
    QTimer redraw;
    display_.KeepRedrawn(redraw, [this] { draw(); });
    if (display_.Live())
        draw();
    for (auto& unit : units_) {
        UnitProcess* u = unit.get();
        QObject::connect(u, &UnitProcess::Event, [this, u](const UnitEvent& e) { event(*u, e); });
        QObject::connect(u, &UnitProcess::Notice, [this, u](const QString& line) { display_.Notice(u->Port() + QStringLiteral(": ") + line); });
        QObject::connect(u, &UnitProcess::Ended, [this] { ended(); });
        ++running_;
        u->Start();
    }
    if (running_ > 0)
        loop_.exec();
    redraw.stop();
    draw();
    if (!options_.quiet)
        resultsTable();
    return exitStatus();
}

void Line::event(const UnitProcess& unit, const UnitEvent& e)
{
    if (e.kind == UnitEvent::Kind::Caption && captions_)
        output_.out(TerminalLine(unit.Port() + QStringLiteral(": ") + e.text));
    display_.MarkDirty();
    if (options_.json)
        output_.out(EventLine(e.object, unit.Port()));
}

void Line::ended()
{
    display_.MarkDirty();
    if (--running_ == 0)
        loop_.quit();
}

void Line::stop()
{
    platform::DrainStopSignals();
    const int signal = platform::StopSignalReceived();
    for (auto& unit : units_)
        unit->Stop(signal);
}

void Line::draw()
{
    int portWidth = 4;
    for (const auto& u : units_)
        portWidth = std::max(portWidth, static_cast<int>(u->Port().size()));
    QStringList lines;
    for (const auto& u : units_)
        lines << LiveLine(u->Port(), portWidth, u->State(), u->Elapsed(), display_.Columns());
    display_.Draw(lines, [this](int first) {
        int ended = 0;
        for (std::size_t i = static_cast<std::size_t>(first); i < units_.size(); ++i)
            ended += units_[i]->State().ended ? 1 : 0;
        const int rest = static_cast<int>(units_.size()) - first;
        return QStringLiteral("... and %1 more ports: %2 running, %3 ended").arg(rest).arg(rest - ended).arg(ended);
    });
}

void Line::resultsTable()
{
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("DEVICE"), QStringLiteral("SERIAL"), QStringLiteral("OUTCOME"),
                             QStringLiteral("TIME"), QStringLiteral("REASON")}};
    for (const auto& unit : units_) {
        const UnitState& u = unit->State();
        rows << QStringList{unit->Port(), u.kind.isEmpty() ? QStringLiteral("-") : u.kind,
                            u.serial ? QString::number(*u.serial) : QStringLiteral("-"), OutcomeName(u.status),
                            QStringLiteral("%1 s").arg(u.seconds, 0, 'f', 1), u.why};
    }
    QByteArray table;
    for (const QString& line : TableLines(rows))
        table += TerminalLine(line);
    output_.err(table);
}

int Line::exitStatus() const
{
    const int signal = platform::StopSignalReceived();
    bool fault = false;
    bool timeout = false;
    bool stopped = false;
    for (const auto& unit : units_) {
        const int status = unit->State().status;
        fault = fault || status == ExitStatus::Fault || status == ExitStatus::Usage;
        timeout = timeout || status == ExitStatus::Timeout;
        stopped = stopped || status > ExitStatus::SignalBase;
    }
    if (stopped && signal)
        return platform::ExitStatusOfSignal(signal);
    return fault ? ExitStatus::Fault : timeout ? ExitStatus::Timeout : ExitStatus::Success;
}

void failedBeforeAnyPort(const CliOptions& options, const CliOutput& output, int status, const QString& why)
{
    output.err(TerminalLine(QStringLiteral("why: ") + why));
    if (options.json) {
        ResultEventData result;
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
    // Checked once before any port is touched: a bad file reaches no unit.
    const Result<LineFirmware> firmware = CheckLineFirmware(options, configDir, ReadProductionSetup(ini));
    if (!firmware) {
        output.err(TerminalLine(QStringLiteral("Error!")) + TerminalLine(QStringLiteral("Fault during upload.")));
        failedBeforeAnyPort(options, output, ExitStatus::Fault, firmware.why());
        return ExitStatus::Fault;
    }
    QStringList ports = options.ports;
    if (const Outcome distinct = EachPortItsOwnDevice(ports, ini); !distinct) {
        output.err(TerminalLine(QStringLiteral("vlboot-cli: ") + distinct.why()));
        return ExitStatus::Usage;
    }
    if (options.autoPorts) {
        ports.clear();
        const QStringList candidates = ProbeCandidates(ini);
        for (const ProbeAnswer& a : ProbePorts(configDir, candidates, ProbeLineOf(options, ini))) {
            if (a.Answered())
                ports << a.device;
            else if (a.answer == ProbeAnswer::Held)
                output.err(TerminalLine(QStringLiteral("vlboot-cli: skipped %1: held by another program (%2)").arg(a.device, a.detail)));
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
    WarnOfTheCounter(options, configDir, output);
    Line line(options, configDir, output, terminal);
    return line.Run(UnitCommandOf(options, configDir, firmware->file, firmware->check), ports, stopSignalFd);
}

} // namespace vlboot::cli
