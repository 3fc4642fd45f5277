#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace vlboot {

// The serial device under ComForm: opened raw at 8 data bits, no parity,
// 1 stop bit, no flow control, with both directions emptied; read as bytes
// arrive; written a whole frame at a time; closed. One implementation per
// platform, chosen by the build:
//   SerialPortPosix.cpp  Linux and other POSIX systems: the device file
//                        itself (see there), with the lock file of a run
//   SerialPortWin.cpp    Windows: the Win32 communications calls on \\.\COMn,
//                        opened without sharing
class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    struct Failure {
        int number = 0; // 0: open; else one of PortErrorNumbers (PortError.h)
        QString detail; // the system's own description
    };
    // Opens `device` at `baud`; closes first whatever was open.
    Failure Open(const QString& device, qint32 baud);
    // Closes the device if it is open.
    void Close();
    bool IsOpen() const;
    // Discards the received bytes that were not yet delivered.
    void ClearInput();
    // Puts all bytes on the line, waiting at most `timeoutMs` in all for
    // room in the driver; false when not all of them went (or closed).
    bool Write(QByteArrayView bytes, int timeoutMs);

    // While held, the device opened stays the run's between two frames as
    // well (a lock file, where the platform has them): taken at the first
    // open of the hold, given up by EndHold. Without a hold an open only
    // respects other programs' lock files.
    void BeginHold();
    void EndHold();

    // Called from the event loop with every chunk of received bytes. A
    // device that went away (unplugged, the far end of a pseudo-terminal
    // closed) is closed by the port itself, so that nothing spins on it.
    std::function<void(QByteArrayView chunk)> OnReceived;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The failure number of an open that failed with `systemError` (an errno
// value; on Windows a GetLastError value): 8002 no such device, 8005 in use
// or no permission, 8107 not a serial device, 8106 the device failed, 8108
// anything else.
int OpenErrorNumber(int systemError);

#if !defined(Q_OS_WIN)

// The lock files of serial devices that terminal programs honour:
// `LCK..<name>` in the system's lock folder, holding the owner's process id
// as ten characters and a newline. <name> is the device's path below /dev
// with '/' as '_' (ttyUSB0, pts_3), of the device a link points to.
QString DeviceLockFolder(); // /run/lock, else /var/lock
QString DeviceLockName(const QString& device);
struct DeviceLock {
    enum Outcome { Taken, Busy, Skipped } outcome = Skipped;
    qint64 holder = 0; // Busy: the process that holds it (0: unknown)
    QString path;      // the lock file
};
// Creates the lock file for `device` in `folder`, taking over the lock of a
// process that no longer exists (or an unreadable one older than 2 s). A
// live owner other than this process: Busy. A folder that cannot be
// written: Skipped.
DeviceLock TakeDeviceLock(const QString& folder, const QString& device);
// Removes the lock file if it still names this process.
void ReleaseDeviceLock(const QString& path);
// The live process named in the lock file at `path`: 0 when there is none
// (no file, the owner is gone, or unreadable content older than 2 s), -1
// for unreadable content still younger (its owner may be writing it).
qint64 DeviceLockHolder(const QString& path);
#endif

} // namespace vlboot
