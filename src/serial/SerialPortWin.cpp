// The serial port on Windows, through the Win32 communications calls.
//
// An open: CreateFile on \\.\COMn with no sharing (the system refuses every
// other open of the port while it is ours) and overlapped I/O; the line
// settings through DCB (8N1, no flow control, the speed), written only when
// the driver's differ; reads that return at once with what is waiting; the
// receive event EV_RXCHAR; both directions emptied.
//
// What arrives is read by a thread of the open port: it waits for the
// receive event (an overlapped WaitCommEvent) and then reads whatever is
// waiting, whatever the event mask says (Wine completes the wait as
// cancelled, with an empty mask, and its byte count may still say 0). Each
// chunk goes to the event loop as a window message to a message-only window
// of the port, and the thread reads the next one only once the message has
// handed it over: one chunk per pass of the event loop, so that a reply is
// complete before the bytes after it are added, as on POSIX systems. A close
// stops the thread (its pending wait cancelled) and closes the handle;
// messages of an earlier open that are still queued are dropped.
// (A window message of its own, because Qt 6.1's own wake-ups of the event
// loop, for a QWinEventNotifier or a queued call, now and then went
// missing under Wine and the run stalled.)
//
// The exclusive open is the port's only lock: between two frames of a run
// (the port is closed and opened again before every frame) another program
// could take it; the run's next open then fails with 8005.

#include "SerialPort.h"

#include <QByteArray>
#include <atomic>
#include <thread>

#include <windows.h>

namespace vlboot {
namespace {

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
    {
    }

    // The reader thread's body for the port `port` opened as `open`.
    void Read(HANDLE port, quint64 open);
    // In the event loop: hands a chunk over, lets the reader go on.
    void Deliver(const QByteArray& chunk, quint64 open, quint64 clearsThen);
    // Stops the reader and waits for it.
    void StopReader();

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    SerialPort& owner;
    HWND window = nullptr; // the message-only window the reader posts to
    QByteArray chunk;      // the chunk on its way (one at a time)
    HANDLE handle = INVALID_HANDLE_VALUE;
    Overlapped io; // the writes, in the event loop's thread
    std::thread reader;
    HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE taken = ::CreateEventW(nullptr, FALSE, FALSE, nullptr); // a chunk was handed over
    quint64 opens = 0;                // which open the reader and the queued chunks belong to
    std::atomic<quint64> clears{0};   // ClearInput calls: chunks read before one are dropped
};

// The reader's messages: a chunk (wParam the open, lParam the clears when it
// was read), a device that went away (wParam the open).
constexpr UINT ChunkMessage = WM_APP + 1;
constexpr UINT LostMessage = WM_APP + 2;

LRESULT CALLBACK SerialPort::Impl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* impl = reinterpret_cast<Impl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (impl && message == ChunkMessage) {
        impl->Deliver(impl->chunk, wParam, static_cast<quint64>(lParam));
        return 0;
    }
    if (impl && message == LostMessage) {
        if (wParam == impl->opens)
            impl->owner.Close(); // a device that went away fails every read
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void SerialPort::Impl::Read(HANDLE port, quint64 open)
{
    Overlapped wait;
    Overlapped read;
    const auto stopped = [this](HANDLE event) {
        const HANDLE both[2] = {stop, event};
        return ::WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
    };
    const auto lost = [this, open] { ::PostMessageW(window, LostMessage, static_cast<WPARAM>(open), 0); };
    for (;;) {
        // Whatever is waiting, one chunk at a time.
        for (;;) {
            const quint64 clearsThen = clears.load();
            QByteArray bytes(4096, Qt::Uninitialized);
            read.Reset();
            DWORD got = 0;
            if (!::ReadFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &got, &read.ov)) {
                if (::GetLastError() != ERROR_IO_PENDING)
                    return lost();
                if (stopped(read.ov.hEvent)) {
                    ::CancelIo(port);
                    ::GetOverlappedResult(port, &read.ov, &got, TRUE);
                    return;
                }
                if (!::GetOverlappedResult(port, &read.ov, &got, FALSE))
                    return lost();
            }
            if (got == 0)
                break;
            bytes.truncate(static_cast<qsizetype>(got));
            this->chunk = bytes; // (taken: the previous one was handed over)
            ::PostMessageW(window, ChunkMessage, static_cast<WPARAM>(open), static_cast<LPARAM>(clearsThen));
            if (stopped(taken))
                return;
        }
        wait.Reset();
        DWORD mask = 0;
        if (!::WaitCommEvent(port, &mask, &wait.ov)) {
            if (::GetLastError() != ERROR_IO_PENDING)
                return lost();
            if (stopped(wait.ov.hEvent)) {
                ::SetCommMask(port, 0); // ends the wait
                ::CancelIo(port);
                DWORD unused = 0;
                ::GetOverlappedResult(port, &wait.ov, &unused, TRUE);
                return;
            }
        }
    }
}

void SerialPort::Impl::Deliver(const QByteArray& chunk, quint64 open, quint64 clearsThen)
{
    if (open != opens)
        return; // of an earlier open: its reader is gone
    if (clearsThen == clears.load() && owner.OnReceived)
        owner.OnReceived(chunk);
    if (open == opens)
        ::SetEvent(taken);
}

void SerialPort::Impl::StopReader()
{
    if (!reader.joinable())
        return;
    ::SetEvent(stop);
    reader.join();
    ::ResetEvent(stop);
    ::ResetEvent(taken);
}

SerialPort::SerialPort()
    : d(std::make_unique<Impl>(*this))
{
    static const wchar_t* const className = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Impl::WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"vlbootSerialPort";
        ::RegisterClassW(&windowClass);
        return windowClass.lpszClassName;
    }();
    d->window = ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                                  nullptr);
    ::SetWindowLongPtrW(d->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(d.get()));
}

SerialPort::~SerialPort()
{
    Close();
    ::DestroyWindow(d->window);
    ::CloseHandle(d->stop);
    ::CloseHandle(d->taken);
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
    d->reader = std::thread(&Impl::Read, d.get(), handle, ++d->opens);
    return {};
}

void SerialPort::Close()
{
    if (d->handle == INVALID_HANDLE_VALUE)
        return;
    ++d->opens; // (what is still queued of this open is dropped)
    d->StopReader();
    ::CloseHandle(d->handle);
    d->handle = INVALID_HANDLE_VALUE;
}

bool SerialPort::IsOpen() const
{
    return d->handle != INVALID_HANDLE_VALUE;
}

void SerialPort::ClearInput()
{
    if (d->handle == INVALID_HANDLE_VALUE)
        return;
    ++d->clears;
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
