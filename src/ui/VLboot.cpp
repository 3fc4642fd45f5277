#include "VLboot.h"

#include "TrafficWindow.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>

namespace vlboot {
namespace {


QAction* menuItem(QMenu* menu, const char* name, const QString& caption, bool checkable = false)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    item->setCheckable(checkable);
    return item;
}

QMenu* subMenu(QWidget* owner, const char* name, const QString& caption)
{
    auto* menu = new QMenu(caption, owner);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

} // namespace

VLboot::VLboot(const QString& configDir, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent)
    , dialogs_(dialogs)
    , station_(StationSetup(configDir, QStringLiteral("vlboot")))
{
    setObjectName(QStringLiteral("VLboot"));
    setWindowTitle(QStringLiteral("Velmora Bootloader"));

    station_.settings().OnComPortSelected = [this](int port) { markComPort(port); };
    station_.settings().OnComSpeedSelected = [this](int index) { markComSpeed(index); };

    createControls();
    createMenus();
    Form_Load();
}

VLboot::~VLboot()
{
    // The link outlives nothing that reports to it: the traffic window goes first.
    delete traffic_;
}

void VLboot::createControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(client);

    Frame1 = PlaceControl<QGroupBox>(client, "Frame1", 120, 120, 10935, 1695);
    Frame1->setTitle(QStringLiteral("Velmora File"));
    LblVelm = PlaceControl<QLabel>(Frame1, "LblVelm", 120, 480, 2775, 255);
    LblVelm->setText(QStringLiteral("File for Velmora module"));
    TxtVelmfile = PlaceControl<QLineEdit>(Frame1, "TxtVelmfile", 120, 840, 8775, 375);
    BtnVelmbrowse = PlaceControl<QPushButton>(Frame1, "BtnVelmbrowse", 9360, 840, 1335, 375);
    BtnVelmbrowse->setText(QStringLiteral("Browse"));

    Frame3 = PlaceControl<QGroupBox>(client, "Frame3", 120, 1920, 10935, 1815);
    Frame3->setTitle(QStringLiteral("Status"));
    LblStatusText = PlaceControl<QLabel>(Frame3, "LblStatusText", 240, 360, 8775, 375);
    QFont statusFont(QStringLiteral("MS Sans Serif"));
    statusFont.setStyleHint(QFont::SansSerif);
    statusFont.setPointSize(12);
    LblStatusText->setFont(statusFont);
    BtnStart = PlaceControl<QPushButton>(Frame3, "BtnStart", 9360, 360, 1335, 375);
    BtnStart->setText(QStringLiteral("Start"));
    LblStatus = PlaceControl<QLabel>(Frame3, "LblStatus", 240, 1080, 2535, 255);
    LblStatus->setText(QStringLiteral("Status"));
    ProgressBar = PlaceControl<QProgressBar>(Frame3, "ProgressBar", 120, 1440, 10695, 255);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);

    connect(BtnVelmbrowse, &QPushButton::clicked, this, [this] { BtnVelmbrowse_Click(); });
    connect(BtnStart, &QPushButton::clicked, this, [this] { BtnStart_Click(); });
}

void VLboot::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File"));
    QAction* exit = menuItem(file, "Exit", QStringLiteral("E&xit"));
    connect(exit, &QAction::triggered, this, [this] { Exit_Click(); });

    QMenu* setting = menuBar()->addMenu(QStringLiteral("&Setting"));
    setting->setObjectName(QStringLiteral("Setting"));

    QMenu* ports = subMenu(this, "MenuComport", QStringLiteral("Comport"));
    ports->setToolTipsVisible(true); // each item tells the device it stands for
    setting->addMenu(ports);
    for (int n = 1; n <= PortCount; ++n) {
        const QByteArray name = "COM" + QByteArray::number(n);
        COM[n] = menuItem(ports, name.constData(), QStringLiteral("&COM") + QString::number(n), true);
        connect(COM[n], &QAction::triggered, this, [this, n] { COM_Click(n); });
    }

    QMenu* speed = subMenu(this, "Speed", QStringLiteral("Speed"));
    setting->addMenu(speed);
    Speed[0] = menuItem(speed, "Speed_9600", QStringLiteral("9600"), true);
    Speed[1] = menuItem(speed, "Speed_57600", QStringLiteral("57600"), true);
    Speed[2] = menuItem(speed, "Speed_115000", QStringLiteral("115000"), true);
    for (int i = 0; i < SpeedCount; ++i)
        connect(Speed[i], &QAction::triggered, this, [this, i] { Speed_Click(i); });

    QAction* address = menuItem(setting, "Com_Adress", QStringLiteral("Com Adress"));
    connect(address, &QAction::triggered, this, [this] { Com_Adress_Click(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help"));
    QAction* about = menuItem(help, "About", QStringLiteral("&About"));
    connect(about, &QAction::triggered, this, [this] { About_Click(); });
}

void VLboot::markComPort(int port)
{
    for (int n = 1; n <= PortCount; ++n)
        COM[n]->setChecked(n == port);
}

void VLboot::markComSpeed(int index)
{
    for (int i = 0; i < SpeedCount; ++i)
        Speed[i]->setChecked(i == index);
}

void VLboot::SetCaption(const QString& caption)
{
    LblStatusText->setText(caption);
}

void VLboot::SetProgress(float value)
{
    // Whole percent, truncated; anything outside the bar's range (a NaN
    // included) is held at its ends.
    int percent = 0;
    if (value >= 100.0f)
        percent = 100;
    else if (value > 0.0f)
        percent = static_cast<int>(value);
    ProgressBar->setValue(percent);
}

void VLboot::ShowFailureBox()
{
    dialogs_.ShowMessageBox(this, QStringLiteral("Warning"), QStringLiteral("Error!\r\n\r\nFault during upload."),
                            Dialogs::Icon::Exclamation);
}

void VLboot::ShowMessage(const QString& title, const QString& text)
{
    dialogs_.ShowMessageBox(this, title, text, Dialogs::Icon::None);
}

void VLboot::fitToFrame()
{
    // The fixed size is the one the user sees, the window's frame included;
    // the frame is known once the window system has decorated the window.
    const QSize inner = outerSize_ - (frameGeometry().size() - geometry().size());
    if (inner != fixedSize_) {
        fixedSize_ = inner;
        setFixedSize(inner);
    }
}

void VLboot::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    fitToFrame();
}

void VLboot::moveEvent(QMoveEvent* event)
{
    // The window system frames a window after showing it, and moves it then.
    QMainWindow::moveEvent(event);
    fitToFrame();
}

void VLboot::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // The size is fixed in the normal window state; whatever changed it,
    // it springs back.
    constexpr Qt::WindowStates other = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (fixedSize_.isValid() && !(windowState() & other) && size() != fixedSize_)
        resize(fixedSize_);
}

void VLboot::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the program, as Exit does. During a run the
    // window stays until the run has ended (a fixture's serial-number step
    // may take a reply wait) and its record is kept.
    if (running_)
        event->ignore();
    else
        event->accept();
    Exit_Click();
}

void VLboot::Exit_Click()
{
    if (!running_) {
        QCoreApplication::exit(0);
        return;
    }
    // A run is waiting for a reply from inside the event handling: it is
    // asked to stop, ends quietly at once (a fixture's serial-number step
    // first runs to its end), and the Start button's handler then ends the
    // program.
    station_.RequestStop(QStringLiteral("Exit"));
}

} // namespace vlboot
