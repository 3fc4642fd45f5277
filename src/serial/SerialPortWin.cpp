// The serial port on Windows, through the Win32 communications calls.
//
// An open: CreateFile on \\.\COMn with no sharing (the system refuses every
// other open of the port while it is ours) and overlapped I/O; the line
// settings through DCB (8N1, no flow control, the speed), written only when
// the driver's differ; reads that return at once with what is waiting; the
// receive event EV_RXCHAR; both directions emptied. What arrives is read in
// the event loop: an overlapped WaitCommEvent signals its event handle, a
// QWinEventNotifier reports it, and the port reads whatever is waiting,
// whatever the event mask says (some drivers, and Wine, complete the wait
// with an empty mask). A close cancels the wait and closes the handle.
//
// The exclusive open is the port's only lock: between two frames of a run
// (the port is closed and opened again before every frame) another program
// could take it; the run's next open then fails with 8005.

#include "SerialPort.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace vlboot {
namespace {

// The longest wait for a read that should complete at once.
constexpr DWORD ReadCompletionMs = 1000;

bool speedOf(qint32 baud)
{
    return baud == 9600 || baud == 57600 || baud == 115200;
}

SerialPort::Failure systemFailure(DWORD error)
{
    return {OpenErrorNumber(static_cast<int>(error)), qt_error_string(static_cast<int>(error))};
}

// "COM5" -> "\\.\COM5", the name that reaches COM10 and above too; a name
// already in the device namespace is kept.
std::wstring deviceName(const QString& device)
{
    QString name = device;
    if (!name.startsWith(QLatin1String("\\\\")))
        name.prepend(QLatin1String("\\\\.\\"));
    return name.toStdWString();
}

// Raw 8N1 at `baud`, no flow control of either kind; the modem lines stay
// as the driver has them unless they were given to flow control.
DCB lineSettings(const DCB& current, qint32 baud)
{
    DCB dcb = current;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE)
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return dcb;
}

bool sameLine(const DCB& a, const DCB& b)
{
    return a.BaudRate == b.BaudRate && a.ByteSize == b.ByteSize && a.Parity == b.Parity && a.StopBits == b.StopBits
        && a.fBinary == b.fBinary && a.fParity == b.fParity && a.fOutxCtsFlow == b.fOutxCtsFlow
        && a.fOutxDsrFlow == b.fOutxDsrFlow && a.fDsrSensitivity == b.fDsrSensitivity && a.fOutX == b.fOutX
        && a.fInX == b.fInX && a.fErrorChar == b.fErrorChar && a.fNull == b.fNull
        && a.fAbortOnError == b.fAbortOnError && a.fDtrControl == b.fDtrControl && a.fRtsControl == b.fRtsControl;
}

// An overlapped operation's completion event (manual reset, as overlapped
// I/O needs).
struct Overlapped {
    OVERLAPPED ov{};
    Overlapped() { ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() { ::CloseHandle(ov.hEvent); }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    void Reset()
    {
        const HANDLE event = ov.hEvent;
        ov = OVERLAPPED{};
        ov.hEvent = event;
        ::ResetEvent(event);
    }
};

} // namespace

int OpenErrorNumber(int systemError)
{
    switch (static_cast<DWORD>(systemError)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        return 8002;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: // (a port another program holds, as Wine reports it)
    case ERROR_BUSY:
        return 8005;
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_NOT_READY:
        return 8106;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return 8107;
    default:
        return 8108;
    }
}

struct SerialPort::Impl {
    explicit Impl(SerialPort& port)
        : owner(port)
        , notifier(wait.ov.hEvent)
    {
        notifier.setEnabled(false);
        QObject::connect(&notifier, &QWinEventNotifier::activated, [this] { OnEvent(); });
    }

    // The receive event fired (or may have): collect the wait, read what is
    // waiting, wait again.
    void OnEvent();
    // Starts the overlapped wait for the next receive event; false when the
    // device refused it.
    bool Arm();
    // Hands over what the driver holds (one read); false when the device
    // failed.
    bool ReadChunk();
    // Whether the driver holds received bytes.
    bool BytesWaiting();
    // Ends a pending wait so that its OVERLAPPED is free again.
    void Disarm();

    SerialPort& owner;
    HANDLE handle = INVALID_HANDLE_VALUE;
    Overlapped wait;  // WaitCommEvent
    Overlapped io;    // ReadFile and WriteFile, one at a time
    DWORD eventMask = 0;
    bool armed = false; // a WaitCommEvent is pending (or completed and not yet collected)
    QWinEventNotifier notifier;
};

bool SerialPort::Impl::Arm()
{
    wait.Reset();
    eventMask = 0;
    if (::WaitCommEvent(handle, &eventMask, &wait.ov)) {
        ::SetEvent(wait.ov.hEvent); // completed at once: reported like a later completion
        armed = true;
        return true;
    }
    armed = ::GetLastError() == ERROR_IO_PENDING;
    return armed;
}

void SerialPort::Impl::Disarm()
{
    if (!armed)
        return;
    DWORD unused = 0;
    ::SetCommMask(handle, 0); // completes the pending wait
    if (!::GetOverlappedResult(handle, &wait.ov, &unused, FALSE) && ::GetLastError() == ERROR_IO_INCOMPLETE) {
        ::CancelIo(handle);
        ::GetOverlappedResult(handle, &wait.ov, &unused, TRUE);
    }
    armed = false;
}

bool SerialPort::Impl::ReadChunk()
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle, &errors, &status))
        return false;
    char buffer[4096];
    // (a driver that reports no queue is read anyway)
    const DWORD want = status.cbInQue == 0 ? DWORD{sizeof buffer} : qMin<DWORD>(status.cbInQue, sizeof buffer);
    io.Reset();
    DWORD got = 0;
    if (!::ReadFile(handle, buffer, want, &got, &io.ov)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return false;
        if (::WaitForSingleObject(io.ov.hEvent, ReadCompletionMs) != WAIT_OBJECT_0)
            ::CancelIo(handle);
        if (!::GetOverlappedResult(handle, &io.ov, &got, TRUE) && ::GetLastError() != ERROR_OPERATION_ABORTED)
            return false;
    }
    if (got > 0 && owner.OnReceived)
        owner.OnReceived(QByteArrayView(buffer, static_cast<qsizetype>(got)));
    return true;
}

bool SerialPort::Impl::BytesWaiting()
{
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(handle, &errors, &status) && status.cbInQue > 0;
}

void SerialPort::Impl::OnEvent()
{
    if (handle == INVALID_HANDLE_VALUE)
        return;
    if (armed) {
        DWORD unused = 0;
        if (::GetOverlappedResult(handle, &wait.ov, &unused, FALSE)) {
            armed = false;
        } else if (::GetLastError() == ERROR_IO_INCOMPLETE) {
            // The signal was ours (bytes left for this pass): the wait goes
            // on. One that completed meanwhile is collected here.
            ::ResetEvent(wait.ov.hEvent);
            if (::GetOverlappedResult(handle, &wait.ov, &unused, FALSE) || ::GetLastError() != ERROR_IO_INCOMPLETE)
                armed = false;
        } else {
            armed = false; // (Wine ends the wait as cancelled when bytes arrive)
        }
    }
    // One chunk per pass of the event loop, as a reply wait expects: a reply
    // is complete before the bytes after it are added.
    if (!ReadChunk() || (handle != INVALID_HANDLE_VALUE && !armed && !Arm())) {
        owner.Close(); // a device that went away fails every read
        return;
    }
    if (handle != INVALID_HANDLE_VALUE && BytesWaiting())
        ::SetEvent(wait.ov.hEvent); // the rest in the next pass
}

SerialPort::SerialPort()
    : d(std::make_unique<Impl>(*this))
{
}

SerialPort::~SerialPort()
{
    Close();
}

SerialPort::Failure SerialPort::Open(const QString& device, qint32 baud)
{
    Close();
    if (!speedOf(baud))
        return systemFailure(ERROR_INVALID_PARAMETER);
    const HANDLE handle = ::CreateFileW(deviceName(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return systemFailure(::GetLastError());

    DCB current{};
    current.DCBlength = sizeof current;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD; // a read returns at once with what is waiting
    bool ok = ::GetCommState(handle, &current) != 0;
    if (ok) {
        const DCB wanted = lineSettings(current, baud);
        ok = (sameLine(wanted, current) || ::SetCommState(handle, const_cast<DCB*>(&wanted)))
            && ::SetCommTimeouts(handle, &timeouts) && ::SetCommMask(handle, EV_RXCHAR)
            && ::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    }
    if (!ok) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        return systemFailure(error);
    }
    d->handle = handle;
    if (!d->Arm()) {
        const DWORD error = ::GetLastError();
        Close();
        return systemFailure(error);
    }
    d->notifier.setEnabled(true);
    return {};
}

void SerialPort::Close()
{
    if (d->handle == INVALID_HANDLE_VALUE)
        return;
    d->notifier.setEnabled(false);
    d->Disarm();
    ::CloseHandle(d->handle);
    d->handle = INVALID_HANDLE_VALUE;
    ::ResetEvent(d->wait.ov.hEvent);
}

bool SerialPort::IsOpen() const
{
    return d->handle != INVALID_HANDLE_VALUE;
}

void SerialPort::ClearInput()
{
    if (d->handle != INVALID_HANDLE_VALUE)
        ::PurgeComm(d->handle, PURGE_RXCLEAR);
}

bool SerialPort::Write(QByteArrayView bytes, int timeoutMs)
{
    if (d->handle == INVALID_HANDLE_VALUE)
        return false;
    if (bytes.isEmpty())
        return true;
    d->io.Reset();
    DWORD written = 0;
    if (!::WriteFile(d->handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &d->io.ov)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return false;
        // The driver takes the frame as it has room, all in all no longer
        // than the reply would be waited for.
        if (::WaitForSingleObject(d->io.ov.hEvent, static_cast<DWORD>(qMax(timeoutMs, 0))) != WAIT_OBJECT_0)
            ::CancelIo(d->handle);
        if (!::GetOverlappedResult(d->handle, &d->io.ov, &written, TRUE))
            return false;
    }
    return written == static_cast<DWORD>(bytes.size());
}

// The exclusive open holds the port; Windows has no lock files.
void SerialPort::BeginHold() {}

void SerialPort::EndHold() {}

} // namespace vlboot
