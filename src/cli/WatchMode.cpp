#include "WatchMode.h"

#include "TerminalText.h"

#include "DatabaseCommands.h"
#include "ExitStatus.h"
#include "LineDisplay.h"
#include "PortNames.h"
#include "LineSetup.h"
#include "Platform.h"
#include "PortProbe.h"
#include "ProductionSetup.h"
#include "ProgressBar.h"
#include "SerialNumber.h"
#include "UnitCommand.h"
#if defined(VLBOOT_HAVE_HTTP)
#include "WatchFeed.h"
#endif
#include "LineWatch.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

namespace vlboot::cli {
namespace {

// A port's last unit in the totals table: its outcome, and its serial
// number or why it failed.
QString lastUnitText(const UnitOutcome& unit)
{
    QString text = unit.outcome;
    if (unit.serialNumber)
        text += QStringLiteral(" serial %1").arg(*unit.serialNumber);
    if (!unit.Passed() && !unit.why.isEmpty())
        text += QLatin1Char(' ') + unit.why;
    return text;
}

class Watch {
public:
    Watch(const CliOptions& options, const CliOutput& output, LineTerminal terminal, WatchStation station)
        : options_(options)
        , output_(output)
        , captions_(!options.json && !(terminal.stderrIsTerminal && !options.quiet && terminal.stdoutIsTerminal))
        , display_(output, terminal.stderrIsTerminal && !options.quiet)
        , station_(std::move(station))
    {
    }

    int Run(LineWatch& watch, int stopSignalFd);

private:
    void draw();
    void totalsTable() const;

    const CliOptions& options_;
    const CliOutput& output_;
    const bool captions_;
    LineDisplay display_;
    WatchStation station_;
    LineWatch* watch_ = nullptr;
#if defined(VLBOOT_HAVE_HTTP)
    std::unique_ptr<http::WatchFeed> feed_;
#endif
};

int Watch::Run(LineWatch& watch, int stopSignalFd)
{
    watch_ = &watch;
    if (!options_.http.isEmpty()) {
#if defined(VLBOOT_HAVE_HTTP)
        feed_ = std::make_unique<http::WatchFeed>(watch, station_);
        const Outcome started = feed_->Serve(options_.http, station_.httpToken);
        if (!started.ok()) {
            output_.err(TerminalLine(QStringLiteral("vlboot-cli: ") + started.why()));
            return ExitStatus::Usage;
        }
        output_.err(TerminalLine(QStringLiteral("vlboot-cli: the station's page and API: %1").arg(feed_->PageUrl())));
#else
        output_.err(TerminalLine(QStringLiteral("vlboot-cli: the station's HTTP server is not available in this build")));
        return ExitStatus::Unavailable;
#endif
    }
    QEventLoop loop;
    QObject::connect(&watch, &LineWatch::PortChanged, [this] { display_.MarkDirty(); });
    QObject::connect(&watch, &LineWatch::PortStateChanged, [this](const PortWatcher* p) {
        if (captions_)
            output_.out(TerminalLine(p->Port() + QStringLiteral(": ") + (PortStateName(p->State()) + QStringLiteral("  ") +
                                                                      (p->State() == PortState::Programming ? QString() : PortStateDetail(*p))).trimmed()));
    });
    QObject::connect(&watch, &LineWatch::UnitEvent, [this](const PortWatcher* p, const UnitEvent& e) {
        if (e.kind == UnitEvent::Kind::Caption && captions_)
            output_.out(TerminalLine(p->Port() + QStringLiteral(": ") + e.text));
    });
    if (options_.json)
        QObject::connect(&watch, &LineWatch::StationEvent, [this](const QJsonObject& e) { output_.out(EventLine(e)); });
    QObject::connect(&watch, &LineWatch::Notice,
                     [this](const QString& port, const QString& line) { display_.Notice(port + QStringLiteral(": ") + line); });
    QObject::connect(&watch, &LineWatch::Finished, &loop, &QEventLoop::quit);
    std::unique_ptr<QSocketNotifier> stopWatch;
    if (stopSignalFd >= 0) {
        stopWatch = std::make_unique<QSocketNotifier>(stopSignalFd, QSocketNotifier::Read);
        QObject::connect(stopWatch.get(), &QSocketNotifier::activated, [this] {
            platform::DrainStopSignals();
            if (!watch_->Stopping())
                display_.Notice(QStringLiteral("vlboot-cli: watching no more; units in progress end first"));
            watch_->Stop(platform::StopSignalReceived());
        });
    }
    QTimer redraw;
    display_.KeepRedrawn(redraw, [this] { draw(); });
    watch.Start();
    draw();
    if (platform::StopSignalReceived())
        watch.Stop(platform::StopSignalReceived());
    loop.exec();
    draw();
    if (!options_.quiet)
        totalsTable();
    const int signal = platform::StopSignalReceived();
    return signal ? platform::ExitStatusOfSignal(signal) : ExitStatus::Success;
}

void Watch::draw()
{
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("STATE"), QStringLiteral("PASSED"), QStringLiteral("FAILED"),
                             QStringLiteral("NOW")}};
    for (const auto& port : watch_->Ports())
        rows << QStringList{port->Port(), PortStateName(port->State()), QString::number(port->Passed()),
                            QString::number(port->Failed()), PortStateDetail(*port)};
    rows << QStringList{QStringLiteral("all"), QString(), QString::number(watch_->Passed()), QString::number(watch_->Failed()),
                        QStringLiteral("%1 units per hour").arg(watch_->UnitsPerHour())};
    QStringList lines = TableLines(rows);
    const int columns = display_.Columns();
    for (QString& line : lines)
        line = columns > 1 ? line.left(columns - 1) : line;
    display_.Draw(lines);
}

void Watch::totalsTable() const
{
    QList<QStringList> rows{{QStringLiteral("PORT"), QStringLiteral("PASSED"), QStringLiteral("FAILED"), QStringLiteral("LAST")}};
    for (const auto& port : watch_->Ports())
        rows << QStringList{port->Port(), QString::number(port->Passed()), QString::number(port->Failed()),
                            port->Last() ? lastUnitText(*port->Last()) : QStringLiteral("-")};
    rows << QStringList{QStringLiteral("all"), QString::number(watch_->Passed()), QString::number(watch_->Failed()),
                        QStringLiteral("%1 units per hour").arg(watch_->UnitsPerHour())};
    QByteArray text;
    for (const QString& line : TableLines(rows))
        text += TerminalLine(line);
    output_.err(text);
}

} // namespace

int RunWatch(const CliOptions& options, const QString& configDir, const CliOutput& output, LineTerminal terminal,
             int stopSignalFd)
{
    const IniFileHandler ini(SettingsFilePath(configDir));
    const ProductionSetup production = ReadProductionSetup(ini);
    const Result<LineFirmware> firmware = CheckLineFirmware(options, configDir, production);
    if (!firmware) {
        output.err(TerminalLine(QStringLiteral("why: ") + firmware.why()));
        return ExitStatus::Fault;
    }
    const QStringList ports = options.autoPorts ? ProbeCandidates(ini) : options.ports;
    if (const Outcome distinct = EachPortItsOwnDevice(ports, ini); !distinct) {
        output.err(TerminalLine(QStringLiteral("vlboot-cli: ") + distinct.why()));
        return ExitStatus::Usage;
    }
    WarnOfTheCounter(options, configDir, output);
    WatchSetup setup{configDir, ProbeLineOf(options, ini), UnitCommandOf(options, configDir, firmware->file, firmware->check)};
    std::vector<LineWatch::Port> watched;
    for (const QString& port : ports)
        watched.push_back({port, DeviceOfPort(port, ini), UnitPlaceOf(options, configDir, port)});
    LineWatch watch(setup, watched);
    WatchStation station{production.station, firmware->file, firmware->check.sha256, firmware->Pinned(),
                         DatabaseConnection(options, configDir), configDir, options.recordFile, production.httpToken};
    Watch shown(options, output, terminal, station);
    return shown.Run(watch, stopSignalFd);
}

} // namespace vlboot::cli
