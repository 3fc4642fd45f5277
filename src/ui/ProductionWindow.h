#pragma once

#include "Dialogs.h"
#include "LineFirmware.h"
#include "LineWatch.h"
#include "ProductionSetup.h"

#include <QMainWindow>
#include <memory>
#include <vector>

class QGridLayout;
class QLabel;
class QListWidget;
class QPushButton;

namespace vlboot {

namespace http {
class WatchFeed;
}
class PortTile;

// The production window "Velmora Production Line": a production line left
// running, with the same units as vlboot-cli --watch (a vlboot-cli of its
// own per unit, followed through its JSON events: a stuck unit never
// freezes the window). One tile per port (PortTile), the totals and the
// yield, the firmware file with its SHA-256 and whether it is the pinned
// one, the serial-number source and the station's name, Start and Stop, and
// the last units. Its settings live in [Production] of setup.ini (Ports=,
// FirmwareFile=, and the station's Database=, Station=, FirmwareSha256=,
// Http=, HttpToken=) and Ports... and Browse... write theirs at once. With
// Http= the station's HTTP server runs while the line does.
//
// Closing the window while the line runs stops it first (units in progress
// end as a stop ends a run, a serial-number step first); the window closes
// once they have.
class ProductionWindow : public QMainWindow {
    Q_OBJECT
public:
    // `unitProgram`: the vlboot-cli each unit runs in.
    ProductionWindow(const QString& configDir, Dialogs& dialogs, const QString& unitProgram, QWidget* parent = nullptr);
    ~ProductionWindow() override;

    // BtnStart: refused with a message box, saying why, when the firmware
    // file is not usable (or not the pinned one), no port is chosen, or a
    // port is named twice.
    void StartLine();
    // BtnStop.
    void StopLine();
    bool Running() const { return running_; }

    // What Ports... and Browse... do with what was entered or chosen.
    void PortsChosen(const QString& text);
    void FirmwareFileChosen(const QString& file);

    const std::vector<PortTile*>& Tiles() const { return tiles_; }
    QString TotalsText() const;
    QStringList LastUnitsText() const;
    QString FirmwareText() const;
    QString NoticeText() const;

signals:
    // The line has stopped: every unit in progress has ended.
    void LineStopped();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildSetupArea();
    LineFirmware showSetup();
    void showSerialSource();
    void showIdleTiles();
    void placeTiles(const QStringList& ports);
    Outcome startFeed(LineWatch& watch, const LineFirmware& firmware);
    void followWatch(LineWatch& watch);
    void unitEnded(const UnitOutcome& outcome);
    void lineFinished();
    void showTotals();
    void setRunning(bool running);
    void refuse(const QString& why);

    QString configDir_;
    Dialogs& dialogs_;
    QString unitProgram_;
    ProductionSetup production_;

    QLabel* station_ = nullptr;
    QLabel* serialSource_ = nullptr;
    QLabel* firmware_ = nullptr;
    QLabel* sha256_ = nullptr;
    QLabel* ports_ = nullptr;
    QLabel* totals_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* choosePorts_ = nullptr;
    QPushButton* browse_ = nullptr;
    QGridLayout* tileGrid_ = nullptr;
    QListWidget* lastUnits_ = nullptr;
    std::vector<PortTile*> tiles_;

    std::unique_ptr<LineWatch> watch_;
#if defined(VLBOOT_HAVE_HTTP)
    std::unique_ptr<http::WatchFeed> feed_;
#endif
    bool running_ = false;
    bool closeWhenStopped_ = false;
};

} // namespace vlboot
