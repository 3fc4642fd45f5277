#pragma once

#include "Bootloader.h"
#include "ComForm.h"
#include "Dialogs.h"
#include "RunView.h"
#include "Settings.h"
#include "StopRequest.h"
#include "TrafficWindow.h"
#include "WaitClock.h"

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <array>
#include <functional>

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
// network address. It owns the program's one set of settings, its one
// serial link with the traffic window, and its one protocol object, and
// shows what a programming run reports.
//
// Constructing the window runs the start-up (Form_Load): the settings are
// read from setup.ini in `configDir` (missing keys get their defaults), the
// port and speed are selected and marked, the ports that cannot be opened
// are hidden from the port menu, the traffic window is created (shown, with
// the traffic log on, only for the debug code), and the status line reads
// "Please select...". Nothing is sent on the line. Every modal box goes
// through `dialogs`, which must outlive the window.
class VLboot : public QMainWindow, public RunView {
    Q_OBJECT
public:
    VLboot(const QString& configDir, Dialogs& dialogs, QWidget* parent = nullptr);
    ~VLboot() override;

    // Shown by the programming run.
    void SetCaption(const QString& caption) override;
    void SetProgress(float value) override;
    void ShowFailureBox() override;

    // The commands of the menus and buttons.
    void Exit_Click();
    void COM_Click(int n);             // COM1..COM16
    void Speed_Click(int index);       // 0: 9600, 1: 57600, 2: "115000" (115200 baud)
    void Com_Adress_Click();           // network-address dialog
    void About_Click();                // About box
    void BtnVelmbrowse_Click();        // file dialog for TxtVelmfile
    void BtnStart_Click();             // the programming run

    // Shows the open-file dialog for `Box` and puts the chosen file's full
    // path into it; returns that path, or "" when the dialog was cancelled.
    QString BrowseForFile(QLineEdit* Box);
    // What choosing `file` with Browse does to TxtVelmfile: its full path goes
    // into the box and into the FirmwareFile setting. vlboot's file argument
    // (a firmware file opened from the file manager) comes this way too.
    void FirmwareFileChosen(const QString& file);
    // Where the file dialog starts for the text `boxText`: the folder part of
    // the text (up to its last "\" or "/") when that folder exists, else the
    // configuration folder.
    QString BrowseStartFolder(const QString& boxText) const;
    // "Velmora Bootloader", two line breaks, "Version 1.00", "June 2006".
    static QString AboutText();

    // What Exit (and closing the window) does. By default: ends the program
    // at once. Between runs the event loop is told to quit; in the middle of
    // a run, the run is asked to stop: its reply wait ends at once, the run
    // ends quietly (after a fixture's serial-number step), and the program
    // ends through its event loop, closing the port on the way.
    std::function<void()> ExitProgram;

    bool IsRunning() const { return running_; }
    Settings& settings() { return settings_; }
    ComForm& link() { return link_; }
    Bootloader& Device() { return device_; }
    TrafficWindow* Traffic() const { return traffic_; }
    QSize FixedWindowSize() const { return fixedSize_; }

    // The controls, by their names.
    QGroupBox* Frame1 = nullptr;
    QLabel* LblVelm = nullptr;
    QLineEdit* TxtVelmfile = nullptr;
    QPushButton* BtnVelmbrowse = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLabel* LblStatusText = nullptr;
    QPushButton* BtnStart = nullptr;
    QLabel* LblStatus = nullptr;
    QProgressBar* ProgressBar = nullptr;

    // The menu items, by their names; COM[n] for n = 1..16 (COM[0] unused).
    QAction* Exit = nullptr;
    std::array<QAction*, 17> COM{};
    std::array<QAction*, 3> Speed{}; // Speed_9600, Speed_57600, Speed_115000
    QAction* Com_Adress = nullptr;
    QAction* About = nullptr;

    // Window size in twips, kept from the first display on.
    static constexpr int WidthTwips = 11295;
    static constexpr int HeightTwips = 4810;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void Form_Load();
    void ScanPorts();
    void MarkComPort(int port);
    void MarkComSpeed(int index);
    void DefaultExit();
    void StoreFirmwareFile();

    Dialogs& dialogs_;
    Settings settings_;
    ComForm link_;
    SteadyWaitClock clock_;
    Bootloader device_;
    StopRequest stop_;
    QPointer<TrafficWindow> traffic_;
    QSize fixedSize_;
    bool running_ = false;
};

} // namespace vlboot
