#pragma once

#include "Link.h"
#include "Settings.h"
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
// Open failures are numbered (PortError.h) and shown through ShowMessage.
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

    static inline const QString MessageTitle = QStringLiteral("Velm_Bootloader");

    bool CanOpen(int comPort, std::uint8_t comSpeed) override;
    OpenFailure LastOpenFailure() const override { return lastError_; }
    // The device path the port number stood for at the last open ("" before any).
    const QString& DevicePath() const { return resolvedPath_; }
    QString DevicePathOf(int comPort) const override;
    // The run's hold: the device's lock file (POSIX), taken at the first
    // open of the run. An open failure because another run holds the port
    // is 8005.
    void BeginRun() override { MSComm1.BeginHold(); }
    void EndRun() override { MSComm1.EndHold(); }
    // How long SendMScommString waits at most for room in the driver: the
    // reply time-out of the run, in seconds.
    void SetWriteTimeout(double seconds) override { writeTimeout_ = seconds; }

    void SetDisplay(TrafficDisplay* display) override { display_ = display; }
    TrafficDisplay* Display() const override { return display_; }
    void SetLogging(bool on) override { Log.SetLogging(on); }
    bool Logging() const override { return Log.LogOn; }
    QString LogFailure() const override { return Log.Failure(); }

    // The traffic log of this link (LogOn, SetLogging, Log.txt).
    TrafficLog Log;

    // Report a line sent / received: shown on the display, logged with a
    // time stamp while Log.LogOn.
    void WriteOut(const QString& str);
    void WriteIn(const QString& str);

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
    OpenFailure lastError_;
    double writeTimeout_ = DefaultReplyTimeout;
    TrafficDisplay* display_ = nullptr;
};


} // namespace vlboot
