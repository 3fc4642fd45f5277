// The serial port on Linux and other POSIX systems. vlboot opens the device
// file itself: the protocol closes and re-opens the port before every frame,
// and QSerialPort creates, writes, syncs to disk and removes a lock file at
// every open, so every frame would wait for the disk.
//
// An open: open(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); tcgetattr (a
// file that is no terminal fails here); flock(LOCK_EX | LOCK_NB), which
// keeps every other vlboot out while the port is open; TIOCEXCL, which
// refuses later opens by other programs (root is not refused, the flock
// and the lock file still are); tcsetattr only when the driver's settings
// differ from raw 8N1 at the speed; the driver's low-latency flag; both
// directions emptied. A close: TIOCNXCL (the exclusive mode belongs to the
// terminal, not the descriptor, and would outlive the close while another
// process keeps the terminal open), close. Before the open another
// program's lock file refuses the device; the lock file of a run is made
// once per run, at its first successful open, not per open.

#include "SerialPort.h"

#include "PortError.h"

#include "PlatformSerial.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vlboot {
namespace {

bool speedOf(qint32 baud, speed_t& speed)
{
    switch (baud) {
    case 9600: speed = B9600; return true;
    case 57600: speed = B57600; return true;
    case 115200: speed = B115200; return true;
    default: return false;
    }
}

// Raw 8N1 at `speed`, no flow control, the rest (modem lines, HUPCL) as
// the driver has it. A read without data returns EAGAIN (VMIN 1), so that
// 0 means the device hung up. Writes only when something differs.
bool applyLineSettings(int fd, const termios& current, speed_t speed)
{
    termios tio = current;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | CRTSCTS);
    tio.c_iflag &= ~(IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    const bool same = tio.c_iflag == current.c_iflag && tio.c_oflag == current.c_oflag
        && tio.c_cflag == current.c_cflag && tio.c_lflag == current.c_lflag
        && std::equal(std::begin(tio.c_cc), std::end(tio.c_cc), std::begin(current.c_cc))
        && ::cfgetispeed(&tio) == ::cfgetispeed(&current) && ::cfgetospeed(&tio) == ::cfgetospeed(&current);
    return same || ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

SerialPort::Failure systemFailure(int error)
{
    return {OpenErrorNumber(error), qt_error_string(error)};
}

SerialPort::Failure lockedFailure(qint64 holder, const QString& path)
{
    const QString who = holder > 0 ? QStringLiteral("process %1").arg(holder) : QStringLiteral("another program");
    return {OpenErrorNumber(EBUSY), QStringLiteral("locked by %1 (%2)").arg(who, path)};
}

} // namespace

int OpenErrorNumber(int systemError)
{
    switch (systemError) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return PortErrorNumbers::NotAvailable;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return PortErrorNumbers::AlreadyOpen;
    case EIO:
        return PortErrorNumbers::DeviceFailed;
    case ENOTTY:
        return PortErrorNumbers::NotSerial;
    default:
        return PortErrorNumbers::OtherSystem;
    }
}

struct SerialPort::Impl {
    explicit Impl(SerialPort& port)
        : owner(port)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { Read(); });
    }

    void Read();
    // Before an open: another program's lock refuses the device.
    SerialPort::Failure CheckLock(const QString& device) const;
    // After an open during a hold: the device's lock becomes the run's.
    SerialPort::Failure HoldLock(const QString& device);
    void DropLock();
    void EndHold();

    SerialPort& owner;
    int fd = -1;
    QSocketNotifier notifier{QSocketNotifier::Read};
    bool holding = false;
    QString heldDevice;   // the device the hold's lock covers (taken, or skipped)
    QString lockPath;     // the lock file the hold made ("" none)
    QString noLowLatency; // the device whose driver has no low-latency flag
};

void SerialPort::Impl::Read()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            if (owner.OnReceived)
                owner.OnReceived(QByteArrayView(buffer, n));
            if (n < static_cast<ssize_t>(sizeof buffer) || fd < 0)
                return;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Nothing waiting; or end of file or an error: the device went
            // away and would stay readable with nothing to read. Its lock
            // goes too: a device that comes under its name is another one
            // (the next open takes the lock again).
            if (n == 0 || errno != EAGAIN) {
                owner.Close();
                DropLock();
            }
            return;
        }
    }
}

SerialPort::Failure SerialPort::Impl::CheckLock(const QString& device) const
{
    if (holding && device == heldDevice)
        return {};
    const QString path = DeviceLockFolder() + QLatin1Char('/') + DeviceLockName(device);
    const qint64 holder = DeviceLockHolder(path);
    if (holder != 0 && holder != ::getpid())
        return lockedFailure(holder, path);
    return {};
}

SerialPort::Failure SerialPort::Impl::HoldLock(const QString& device)
{
    if (!holding || device == heldDevice)
        return {};
    DropLock();
    const DeviceLock lock = TakeDeviceLock(DeviceLockFolder(), device);
    if (lock.outcome == DeviceLock::Busy)
        return lockedFailure(lock.holder, lock.path);
    heldDevice = device;
    if (lock.outcome == DeviceLock::Taken)
        lockPath = lock.path;
    return {};
}

void SerialPort::Impl::DropLock()
{
    heldDevice.clear();
    if (!lockPath.isEmpty())
        ReleaseDeviceLock(lockPath);
    lockPath.clear();
}

void SerialPort::Impl::EndHold()
{
    holding = false;
    DropLock();
}

SerialPort::SerialPort()
    : d(std::make_unique<Impl>(*this))
{
}

SerialPort::~SerialPort()
{
    Close();
    d->EndHold();
}

SerialPort::Failure SerialPort::Open(const QString& device, qint32 baud)
{
    Close();
    speed_t speed = B9600;
    if (!speedOf(baud, speed))
        return systemFailure(EINVAL);
    if (Failure locked = d->CheckLock(device); locked.number != 0)
        return locked;

    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const Failure failure = systemFailure(errno);
        if (failure.number == PortErrorNumbers::NotAvailable)
            d->DropLock(); // the device is gone
        return failure;
    }
    termios current{};
    Failure failure;
    bool exclusive = false; // this open set the terminal's exclusive mode
    if (::tcgetattr(fd, &current) != 0)
        failure = systemFailure(errno);
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        failure = errno == EWOULDBLOCK ? Failure{OpenErrorNumber(EWOULDBLOCK), QStringLiteral("another program has it open and locked")}
                                       : systemFailure(errno);
    else if (!(exclusive = ::ioctl(fd, TIOCEXCL) == 0) || !applyLineSettings(fd, current, speed))
        failure = systemFailure(errno);
    else
        failure = d->HoldLock(device);
    if (failure.number != 0) {
        if (exclusive) // (the mode is the terminal's: another holder's stays)
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return failure;
    }
    // Asked at every open (an adapter plugged in anew forgets it), except
    // of a device whose driver has no such flag.
    if (device != d->noLowLatency && !RequestLowLatency(fd))
        d->noLowLatency = device;
    ::tcflush(fd, TCIOFLUSH);
    d->fd = fd;
    d->notifier.setSocket(fd);
    d->notifier.setEnabled(true);
    return {};
}

void SerialPort::Close()
{
    if (d->fd < 0)
        return;
    d->notifier.setEnabled(false);
    ::ioctl(d->fd, TIOCNXCL);
    ::close(d->fd);
    d->fd = -1;
}

bool SerialPort::IsOpen() const
{
    return d->fd >= 0;
}

void SerialPort::ClearInput()
{
    if (d->fd >= 0)
        ::tcflush(d->fd, TCIFLUSH);
}

bool SerialPort::Write(QByteArrayView bytes, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    if (d->fd < 0)
        return false;
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    Clock::time_point deadline{};
    while (d->fd >= 0 && left > 0) {
        const ssize_t n = ::write(d->fd, data, static_cast<size_t>(left));
        if (n > 0) {
            data += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            return false;
        // The driver is full: wait for room, all in all no longer than the
        // reply would be waited for.
        if (deadline == Clock::time_point{})
            deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0)
            return false;
        pollfd p{d->fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(remaining)) < 0 && errno != EINTR)
            return false;
    }
    return left == 0;
}

void SerialPort::BeginHold()
{
    d->EndHold();
    d->holding = true;
}

void SerialPort::EndHold()
{
    d->EndHold();
}

} // namespace vlboot
