#include "ProductionWindow.h"

#include "IniFileHandler.h"
#include "PortNames.h"
#include "PortTile.h"
#include "SerialNumber.h"
#include "Settings.h"
#if defined(VLBOOT_HAVE_HTTP)
#include "WatchFeed.h"
#endif

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vlboot {
namespace {

const QString Title = QStringLiteral("Velmora Production Line");
constexpr int TileColumns = 4;

QLabel* textLabel(QWidget* parent, const QString& name, double pointScale = 1.0)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (pointScale != 1.0) {
        QFont font = l->font();
        font.setPointSizeF(font.pointSizeF() * pointScale);
        font.setBold(true);
        l->setFont(font);
    }
    return l;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

// Where the serial numbers come from, and what stands in the way of giving
// each fixture its own.
QString serialSourceText(const ProductionSetup& production, const QString& configDir)
{
    if (!production.database.trimmed().isEmpty())
        return QStringLiteral("Serial numbers: the production database");
    const SerialCounter counter = ReadSerialCounter(IniFileHandler(SettingsFilePath(configDir)));
    QString text = QStringLiteral("Serial numbers: setup.ini, next %1").arg(counter.stored);
    if (counter.exhausted)
        text += QStringLiteral(" (fixtures will be refused: the highest serial number is reached)");
    else if (!counter.problem.isEmpty())
        text += QStringLiteral(" (fixtures will be refused: %1)").arg(counter.problem);
    return text;
}

QString firmwareHashText(const LineFirmware& firmware)
{
    if (!firmware.check.ok)
        return QStringLiteral("Not usable: ") + firmware.check.why;
    const QString sha = QStringLiteral("SHA-256 ") + QString::fromLatin1(firmware.check.sha256);
    if (!firmware.Pinned())
        return sha + QStringLiteral("  (no firmware pinned)");
    if (firmware.Matches())
        return sha + QStringLiteral("  MATCHES the pinned firmware");
    return sha + QStringLiteral("  is NOT the pinned firmware ") + QString::fromLatin1(firmware.pinned);
}

} // namespace

ProductionWindow::ProductionWindow(const QString& configDir, Dialogs& dialogs, const QString& unitProgram, QWidget* parent)
    : QMainWindow(parent)
    , configDir_(configDir)
    , dialogs_(dialogs)
    , unitProgram_(unitProgram)
{
    setWindowTitle(Title);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildSetupArea());

    auto* tiles = new QWidget(central);
    tileGrid_ = new QGridLayout(tiles);
    auto* scroll = new QScrollArea(central);
    scroll->setWidget(tiles);
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(scroll, 3);

    totals_ = textLabel(central, QStringLiteral("Totals"), 1.8);
    layout->addWidget(totals_);
    auto* lastTitle = new QLabel(QStringLiteral("&Last units:"), central);
    lastUnits_ = new QListWidget(central);
    lastUnits_->setObjectName(QStringLiteral("LastUnits"));
    lastTitle->setBuddy(lastUnits_);
    layout->addWidget(lastTitle);
    layout->addWidget(lastUnits_, 1);
    notice_ = textLabel(central, QStringLiteral("Notice"));
    notice_->setWordWrap(true);
    layout->addWidget(notice_);
    setCentralWidget(central);

    showSetup();
    showIdleTiles();
    showTotals();
    setRunning(false);
    resize(1200, 800);
}

ProductionWindow::~ProductionWindow() = default;

QWidget* ProductionWindow::buildSetupArea()
{
    auto* area = new QWidget(this);
    auto* grid = new QGridLayout(area);
    station_ = textLabel(area, QStringLiteral("Station"), 1.3);
    serialSource_ = textLabel(area, QStringLiteral("SerialSource"));
    firmware_ = textLabel(area, QStringLiteral("Firmware"));
    sha256_ = textLabel(area, QStringLiteral("FirmwareSha256"));
    ports_ = textLabel(area, QStringLiteral("Ports"));
    start_ = button(area, QStringLiteral("BtnStart"), QStringLiteral("&Start"));
    stop_ = button(area, QStringLiteral("BtnStop"), QStringLiteral("S&top"));
    choosePorts_ = button(area, QStringLiteral("BtnPorts"), QStringLiteral("&Ports..."));
    browse_ = button(area, QStringLiteral("BtnBrowse"), QStringLiteral("&Browse..."));
    grid->addWidget(station_, 0, 0);
    grid->addWidget(serialSource_, 1, 0);
    grid->addWidget(firmware_, 2, 0);
    grid->addWidget(browse_, 2, 1);
    grid->addWidget(sha256_, 3, 0);
    grid->addWidget(ports_, 4, 0);
    grid->addWidget(choosePorts_, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    grid->addLayout(buttons, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    for (QPushButton* b : {start_, stop_}) {
        QFont font = b->font();
        font.setPointSizeF(font.pointSizeF() * 1.5);
        b->setFont(font);
        b->setMinimumHeight(48);
    }
    connect(start_, &QPushButton::clicked, this, &ProductionWindow::StartLine);
    connect(stop_, &QPushButton::clicked, this, &ProductionWindow::StopLine);
    connect(choosePorts_, &QPushButton::clicked, this, [this] {
        const auto entered = dialogs_.ShowInputBox(this, QStringLiteral("Ports"),
                                                   QStringLiteral("Ports to watch, comma-separated (COM1, 2, /dev/ttyUSB0):"),
                                                   production_.ports.join(QStringLiteral(", ")));
        if (entered)
            PortsChosen(*entered);
    });
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QFileInfo current(LineFirmwareFile(configDir_, production_.firmwareFile));
        const QString chosen = dialogs_.ShowOpenFileDialog(this, QStringLiteral("Open"),
                                                           current.absoluteDir().exists() ? current.absolutePath() : configDir_,
                                                           QStringLiteral("Files (*.ldr)"));
        if (!chosen.isEmpty())
            FirmwareFileChosen(chosen);
    });
    return area;
}

// Reads [Production] again and shows the station, the serial numbers' source,
// the firmware and the ports; the firmware as it was examined.
LineFirmware ProductionWindow::showSetup()
{
    const IniFileHandler ini(SettingsFilePath(configDir_));
    production_ = ReadProductionSetup(ini);
    station_->setText(QStringLiteral("Station: ") + production_.station);
    showSerialSource();
    const LineFirmware firmware = ExamineLineFirmware(LineFirmwareFile(configDir_, production_.firmwareFile), production_.firmwareSha256);
    firmware_->setText(QStringLiteral("Firmware: ") + firmware.file);
    sha256_->setText(firmwareHashText(firmware));
    ports_->setText(QStringLiteral("Ports: ")
                    + (production_.ports.isEmpty() ? QStringLiteral("none chosen") : production_.ports.join(QStringLiteral(", "))));
    return firmware;
}

void ProductionWindow::showSerialSource()
{
    serialSource_->setText(serialSourceText(production_, configDir_));
}

void ProductionWindow::PortsChosen(const QString& text)
{
    QStringList ports;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString port = part.trimmed();
        if (port.isEmpty())
            continue;
        if (!ParsePortArgument(port)) {
            refuse(QStringLiteral("%1 is not a port: name COM1..COM16, 1..16 or a device path.").arg(port));
            return;
        }
        ports << port;
    }
    if (const Outcome distinct = EachPortItsOwnDevice(ports, IniFileHandler(SettingsFilePath(configDir_))); !distinct) {
        refuse(distinct.why());
        return;
    }
    if (!StoreProductionSetting(IniFileHandler(SettingsFilePath(configDir_)), QStringLiteral("Ports"), ports.join(QStringLiteral(", "))))
        notice_->setText(QStringLiteral("The ports could not be stored in %1").arg(SettingsFilePath(configDir_)));
    showSetup();
    showIdleTiles();
}

void ProductionWindow::FirmwareFileChosen(const QString& file)
{
    if (!StoreProductionSetting(IniFileHandler(SettingsFilePath(configDir_)), QStringLiteral("FirmwareFile"),
                                QFileInfo(file).absoluteFilePath()))
        notice_->setText(QStringLiteral("The firmware file could not be stored in %1").arg(SettingsFilePath(configDir_)));
    showSetup();
}

void ProductionWindow::refuse(const QString& why)
{
    dialogs_.ShowMessageBox(this, Title, why, Dialogs::Icon::Exclamation);
}

void ProductionWindow::setRunning(bool running)
{
    running_ = running;
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    choosePorts_->setEnabled(!running);
    browse_->setEnabled(!running);
}

void ProductionWindow::placeTiles(const QStringList& ports)
{
    for (PortTile* tile : tiles_)
        delete tile;
    tiles_.clear();
    for (const QString& port : ports) {
        auto* tile = new PortTile(port);
        tileGrid_->addWidget(tile, static_cast<int>(tiles_.size()) / TileColumns, static_cast<int>(tiles_.size()) % TileColumns);
        tiles_.push_back(tile);
    }
}

void ProductionWindow::showIdleTiles()
{
    placeTiles(production_.ports);
    for (PortTile* tile : tiles_)
        tile->ShowIdle();
}

QString ProductionWindow::TotalsText() const
{
    return totals_->text();
}

QStringList ProductionWindow::LastUnitsText() const
{
    QStringList lines;
    for (int i = 0; i < lastUnits_->count(); ++i)
        lines << lastUnits_->item(i)->text();
    return lines;
}

QString ProductionWindow::FirmwareText() const
{
    return firmware_->text() + QLatin1Char('\n') + sha256_->text();
}

QString ProductionWindow::NoticeText() const
{
    return notice_->text();
}

void ProductionWindow::closeEvent(QCloseEvent* event)
{
    if (!running_) {
        event->accept();
        return;
    }
    closeWhenStopped_ = true;
    StopLine();
    event->ignore();
}

} // namespace vlboot
