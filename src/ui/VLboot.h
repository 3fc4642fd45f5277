#pragma once

#include "Dialogs.h"
#include "Station.h"
#include "TrafficWindow.h"

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <array>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace vlboot {

// The main window "Velmora Bootloader": the firmware file box with its
// Browse button, the Start button, the status line and the progress bar,
// and the menus that choose the port, the line speed and the amplifier's
// network address. Its station owns the settings, the serial link, the
// protocol and the unit's record; the window shows what a run reports, and
// owns the traffic window.
//
// Constructing the window runs the start-up (Form_Load): the settings are
// read from setup.ini in `configDir` (missing keys get their defaults), the
// port and speed are selected and marked, the ports that cannot be opened
// are hidden from the port menu, the traffic window is created (shown, with
// the traffic log on, only for the debug code), and the status line reads
// "Please select...". Nothing is sent on the line. Every modal box goes
// through `dialogs`, which must outlive the window.
//
// Exit (and closing the window) ends the program: between runs at once; in
// the middle of a run, the run is asked to stop (its reply wait ends at
// once, a fixture's serial-number step first runs to its end), ends quietly
// with its record kept, and the program ends through its event loop,
// closing the port on the way. The window stays until then.
class VLboot : public QMainWindow, public StationView {
    Q_OBJECT
public:
    VLboot(const QString& configDir, Dialogs& dialogs, QWidget* parent = nullptr);
    ~VLboot() override;

    // Shown by the programming run.
    void SetCaption(const QString& caption) override;
    void SetProgress(float value) override;
    void ShowFailureBox() override;
    // A message box of the serial link (an open failure).
    void ShowMessage(const QString& title, const QString& text) override;

    // What choosing `file` with Browse does to TxtVelmfile: its full path goes
    // into the box and into the FirmwareFile setting. vlboot's file argument
    // (a firmware file opened from the file manager) comes this way too.
    void FirmwareFileChosen(const QString& file);

    Station& GetStation() { return station_; }

    // Window size in twips: the size the user sees, kept from the first
    // display on.
    static constexpr int WidthTwips = 11295;
    static constexpr int HeightTwips = 4810;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The commands of the menus and buttons.
    void Exit_Click();
    void COM_Click(int n);       // COM1..COM16
    void Speed_Click(int index); // 0: 9600, 1: 57600, 2: "115000" (115200 baud)
    void Com_Adress_Click();     // network-address dialog
    void About_Click();          // About box
    void BtnVelmbrowse_Click();  // file dialog for TxtVelmfile
    void BtnStart_Click();       // the programming run

    // Shows the open-file dialog for `Box` and puts the chosen file's full
    // path into it; returns that path, or "" when the dialog was cancelled.
    QString BrowseForFile(QLineEdit* Box);
    // Where the file dialog starts for the text `boxText`: the folder part of
    // the text (up to its last "\" or "/") when that folder exists, else the
    // configuration folder.
    QString browseStartFolder(const QString& boxText) const;

    void createControls();
    void createMenus();
    void Form_Load();
    void scanPorts();
    void markComPort(int port);
    void markComSpeed(int index);
    void fitToFrame();

    Dialogs& dialogs_;
    Station station_;
    QPointer<TrafficWindow> traffic_;
    QSize outerSize_; // 11295 x 4810 twips: the size the user sees
    QSize fixedSize_; // the window's own size inside its frame
    bool running_ = false;

    // The controls and menu items (each also found by its object name).
    QGroupBox* Frame1 = nullptr;
    QLabel* LblVelm = nullptr;
    QLineEdit* TxtVelmfile = nullptr;
    QPushButton* BtnVelmbrowse = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLabel* LblStatusText = nullptr;
    QPushButton* BtnStart = nullptr;
    QLabel* LblStatus = nullptr;
    QProgressBar* ProgressBar = nullptr;
    std::array<QAction*, PortCount + 1> COM{}; // COM[n] for n = 1..16
    std::array<QAction*, SpeedCount> Speed{}; // Speed_9600, Speed_57600, Speed_115000
};

} // namespace vlboot
