#pragma once

#include "Link.h"
#include "SerialPort.h"
#include "TrafficDisplay.h"
#include "TrafficLog.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

namespace vlboot {

// The serial link of the program: the one RS-232 port `MSComm1`, opened
// anew before every frame, the bytes it receives collected in
// ReceiveBuffer, and every frame sent and reply received reported to the
// traffic display and the traffic log (Log.txt in the configuration folder).
//
// Port numbers 1..16 name COM1..COM16; the resolver turns them into device
// paths (by default PortDevicePath with setup.ini of the configuration
// folder). Line settings by speed index: 0 = 9600, 1 = 57600, 2 = 115200
// baud, always 8 data bits, no parity, 1 stop bit; flow control and the
// modem lines are left at the port's defaults. On Linux each open also asks
// the driver for low latency where it offers it. The device itself is the
// platform's SerialPort (SerialPortPosix.cpp, SerialPortWin.cpp on Windows).
//
// A programming run holds the port (RunHold): from its first frame until it
// ends, the device is the run's between two frames as well; on POSIX systems
// through a lock file that terminal programs honour (see SerialPort.h).
//
// Open failures are numbered and shown through ShowMessage:
//   8002 "Comm Port not available!"  the device does not exist
//   8005 "Comm Port already open"    busy, locked by another program, or no permission
//   8012 "Comm Port not open"        the port layer reports the device as not open
//   81nn "Unknown Comm port problem - Error 81nn" for anything else: 8106
//        the device failed (went away), 8107 not a serial device, 8108 any
//        other system error (errno on POSIX systems, GetLastError on
//        Windows, with the system's own text).
class ComForm : public QObject, public Link {
    Q_OBJECT
public:
    using PortResolver = std::function<QString(int comPort)>;

    // `configFolder` holds setup.ini and Log.txt. Without a resolver, each
    // port's path is read from setup.ini when that port is next opened
    // after another one (so the "Ports" map is read once per change of port,
    // not once per frame).
    explicit ComForm(const QString& configFolder, PortResolver resolver = {}, QObject* parent = nullptr);
    ~ComForm() override;

    // Closes, configures and opens the port. Port 0 or above 16: false, no
    // message. A speed index outside 0..2 keeps the previous line settings.
    // An open failure shows its message (see above) and gives false.
    bool SetupMScomm(std::uint8_t ComPort, std::uint8_t ComSpeed) override;
    // As SetupMScomm, but a speed index outside 0..2 means 9600 baud and a
    // failure shows nothing and leaves the port closed. Used by the port scan.
    bool SetupMScommForProduction(std::uint8_t ComPort, std::uint8_t ComSpeed);
    void CloseMScomm() override;
    // Discards all received bytes not yet collected (the driver's and the
    // port object's) and empties ReceiveBuffer. Harmless while closed.
    void ClearMScommInput() override;
    // Puts the bytes on the line at once; then reports "TX: " and the bytes
    // as hexadecimal text. Nothing is reported when the write fails.
    void SendMScommString(const QByteArray& str) override;

    // Shows a message box with a single OK button (title, text). The GUI
    // shows a modal box, a command-line front end prints; unset: nothing.
    std::function<void(const QString& title, const QString& text)> ShowMessage;
    static inline const QString MessageTitle = QStringLiteral("Velm_Bootloader");

    // The failure of the most recent open attempt; Number 0 when it succeeded.
    struct OpenError {
        int number = 0;     // 8002, 8005, 8012 or 81nn, see above
        QString devicePath; // the device that was to be opened
        QString detail;     // the port layer's own description
        QString message;    // the text of the message box
        QString ToString() const; // "Error 8005 on /dev/ttyS0: <detail>"
    };
    const OpenError& LastOpenError() const { return lastError_; }
    // The device path the port number stood for at the last open ("" before any).
    const QString& DevicePath() const { return resolvedPath_; }

    static QString OpenErrorMessage(int number);

    // How long SendMScommString waits at most for room in the driver: the
    // reply time-out of the run, in seconds.
    double WriteTimeout = 12.0;

    // A run's hold on the port, from the first frame it sends until it ends
    // (the front end that starts a run keeps one for the run's length).
    // An open failure because another run holds the port is 8005.
    void BeginRun() { MSComm1.BeginHold(); }
    void EndRun() { MSComm1.EndHold(); }
    class RunHold {
    public:
        explicit RunHold(ComForm& link)
            : link_(link)
        {
            link_.BeginRun();
        }
        ~RunHold() { link_.EndRun(); }
        RunHold(const RunHold&) = delete;
        RunHold& operator=(const RunHold&) = delete;

    private:
        ComForm& link_;
    };

    // The traffic log of this link (LogOn, SetLogging, Log.txt).
    TrafficLog Log;

    // Report a line sent / received: shown on the display, logged with a
    // time stamp while Log.LogOn.
    void WriteOut(const QString& str);
    void WriteIn(const QString& str);

    // The display the reports go to; nullptr for none. Not owned.
    void SetDisplay(TrafficDisplay* display) { display_ = display; }
    TrafficDisplay* Display() const { return display_; }

protected:
    void ReportReceived(const QString& line) override { WriteIn(line); }

private:
    enum class Failure { Show, Silent };
    bool Open(std::uint8_t comPort, qint32 baud, Failure onFailure);

    SerialPort MSComm1;
    qint32 baud_ = 9600; // the line speed of the next open
    PortResolver resolver_;
    int resolvedPort_ = 0;
    QString resolvedPath_;
    OpenError lastError_;
    TrafficDisplay* display_ = nullptr;
};

// Whether port `port` can be opened, tried at the speed index `comSpeed`:
// ClearMScommInput, CloseMScomm, SetupMScommForProduction, CloseMScomm.
// Shows nothing and always leaves the port closed.
bool ProbeComPort(ComForm& link, int port, std::uint8_t comSpeed);

} // namespace vlboot
