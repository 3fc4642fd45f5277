// The production window's line: started from [Production], followed through
// its watch, stopped.
#include "ProductionWindow.h"

#include "PortNames.h"
#include "PortTile.h"
#include "Settings.h"
#if defined(VLBOOT_HAVE_HTTP)
#include "WatchFeed.h"
#endif

#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <csignal>

namespace vlboot {
namespace {

// One line of the last units: when, where, how, and the serial number or
// the reason.
QString unitLine(const UnitOutcome& unit)
{
    QString line = unit.ended.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + unit.port + QStringLiteral("  ")
        + (unit.Passed() ? QStringLiteral("PASSED") : unit.outcome.toUpper());
    if (!unit.deviceKind.isEmpty())
        line += QStringLiteral("  ") + unit.deviceKind;
    if (unit.serialNumber)
        line += QStringLiteral("  serial %1").arg(*unit.serialNumber);
    line += QStringLiteral("  %1 s").arg(unit.seconds, 0, 'f', 1);
    if (!unit.why.isEmpty())
        line += QStringLiteral("  ") + OneLine(unit.why);
    return line;
}

} // namespace

void ProductionWindow::StartLine()
{
    if (running_)
        return;
    const LineFirmware firmware = showSetup(); // the file is read once, for what is shown and what is run
    if (const Outcome usable = LineFirmwareUsable(firmware); !usable)
        return refuse(usable.why());
    if (production_.ports.isEmpty())
        return refuse(QStringLiteral("No port is chosen: choose the ports to watch with Ports..."));
    const IniFileHandler ini(SettingsFilePath(configDir_));
    if (const Outcome distinct = EachPortItsOwnDevice(production_.ports, ini); !distinct)
        return refuse(distinct.why());

    WatchSetup setup{configDir_, Settings::PeekLine(ini), UnitCommandFor(unitProgram_, configDir_, firmware.file, firmware.check)};
    setup.command.database = production_.database;
    std::vector<LineWatch::Port> ports;
    for (const QString& port : production_.ports)
        ports.push_back({port, DeviceOfPort(port, ini), PlaceOfPort(port, ini, setup.line, QStringLiteral("vlboot-cli"))});
#if defined(VLBOOT_HAVE_HTTP)
    feed_.reset(); // the last line's server ends before this one's starts
#endif
    auto watch = std::make_unique<LineWatch>(setup, ports);
    if (const Outcome served = startFeed(*watch, firmware); !served.ok())
        return refuse(served.why());
    watch_ = std::move(watch);
    lastUnits_->clear();
    placeTiles(production_.ports);
    followWatch(*watch_);
    setRunning(true);
    watch_->Start();
    for (std::size_t i = 0; i < tiles_.size(); ++i)
        tiles_[i]->Show(*watch_->Ports()[i]);
    showTotals();
}

Outcome ProductionWindow::startFeed(LineWatch& watch, const LineFirmware& firmware)
{
    if (production_.http.isEmpty())
        return Outcome::Ok();
#if defined(VLBOOT_HAVE_HTTP)
    WatchStation station{production_.station, firmware.file, firmware.check.sha256, firmware.Pinned(), production_.database,
                         configDir_, QString(), production_.httpToken};
    auto feed = std::make_unique<http::WatchFeed>(watch, station);
    if (const Outcome served = feed->Serve(production_.http, production_.httpToken); !served.ok())
        return Outcome::Failed(QStringLiteral("Http=%1: %2").arg(production_.http, served.why()));
    feed_ = std::move(feed);
    notice_->setText(QStringLiteral("The station's page and API: ") + feed_->PageUrl());
    return Outcome::Ok();
#else
    Q_UNUSED(watch);
    Q_UNUSED(firmware);
    return Outcome::Failed(QStringLiteral("Http=%1: the station's HTTP server is not available in this build").arg(production_.http));
#endif
}

void ProductionWindow::followWatch(LineWatch& watch)
{
    for (std::size_t i = 0; i < watch.Ports().size(); ++i) {
        const PortWatcher* port = watch.Ports()[i].get();
        PortTile* tile = tiles_[i];
        connect(&watch, &LineWatch::PortChanged, tile, [tile, port](const PortWatcher* changed) {
            if (changed == port)
                tile->Show(*port);
        });
    }
    connect(&watch, &LineWatch::UnitEnded, this, &ProductionWindow::unitEnded);
    connect(&watch, &LineWatch::Notice, this,
            [this](const QString& port, const QString& line) { notice_->setText(port + QStringLiteral(": ") + line); });
    connect(&watch, &LineWatch::Finished, this, &ProductionWindow::lineFinished);
}

void ProductionWindow::StopLine()
{
    if (!running_ || watch_->Stopping())
        return;
    stop_->setEnabled(false);
    notice_->setText(QStringLiteral("Stopping: units in progress end first."));
    watch_->Stop(SIGTERM);
}

void ProductionWindow::unitEnded(const UnitOutcome& outcome)
{
    lastUnits_->insertItem(0, unitLine(outcome));
    while (lastUnits_->count() > static_cast<int>(LineWatch::KeptUnits))
        delete lastUnits_->takeItem(lastUnits_->count() - 1);
    showTotals();
    if (outcome.serialNumber)
        showSerialSource(); // the next number
}

void ProductionWindow::lineFinished()
{
    setRunning(false);
    notice_->setText(QStringLiteral("Stopped."));
    showTotals();
    emit LineStopped();
    if (closeWhenStopped_)
        close();
}

void ProductionWindow::showTotals()
{
    const int passed = watch_ ? watch_->Passed() : 0;
    const int failed = watch_ ? watch_->Failed() : 0;
    const QString yield = passed + failed > 0 ? QStringLiteral("%1%").arg(100.0 * passed / (passed + failed), 0, 'f', 1) : QStringLiteral("-");
    totals_->setText(QStringLiteral("Passed %1     Failed %2     Yield %3     %4 units per hour")
                         .arg(passed)
                         .arg(failed)
                         .arg(yield)
                         .arg(watch_ ? watch_->UnitsPerHour() : 0.0));
}

} // namespace vlboot
