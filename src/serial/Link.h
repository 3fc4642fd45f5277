#pragma once

#include "PortError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <functional>

namespace vlboot {

class TrafficDisplay;

// The serial line as everything above the serial link sees it: reset the
// port, put bytes on the line, and the bytes received since `ReceiveBuffer`
// was last emptied; and for the front ends, the port's open failures, the
// device a port number stands for, the run's hold on the port, the traffic
// display and log. `ComForm` is the real one; tests put a device model at
// the far end.
//
// Received bytes arrive only while the event loop runs (the protocol's reply
// waits let it run); they are appended in arrival order by AppendReceived.
class Link {
public:
    virtual ~Link() = default;

    // Closes, configures and opens the port; false when it could not be
    // opened (the link has told the user why). Port 0 or above 16: false.
    virtual bool SetupMScomm(std::uint8_t ComPort, std::uint8_t ComSpeed) = 0;
    // Closes the port if it is open.
    virtual void CloseMScomm() = 0;
    // Discards what the port holds and empties ReceiveBuffer.
    virtual void ClearMScommInput() = 0;
    // Puts the bytes on the line in order; a write that fails is dropped
    // silently (it shows up as a reply that never comes).
    virtual void SendMScommString(const QByteArray& str) = 0;

    // The bytes received since it was last emptied; its first byte is, by
    // the protocol, the length of the reply being collected.
    const QByteArray& ReceiveBuffer() const { return receiveBuffer_; }
    // Empties ReceiveBuffer (the protocol does, before every frame).
    void EmptyReceiveBuffer()
    {
        receiveBuffer_.clear();
        discarded_ = 0;
    }
    // Bytes the 80-byte guard has thrown away since ReceiveBuffer was last
    // emptied, so that a failure can say that something came.
    qsizetype DiscardedBytes() const { return discarded_; }

    // A reply longer than this cannot be collected: the buffer is emptied.
    static constexpr int ReceiveGuard = 80;

    // --- What the front ends and the station use ---

    // Whether port `comPort` can be opened at speed index `comSpeed`, tried
    // silently and closed again (the start-up's port scan).
    virtual bool CanOpen(int comPort, std::uint8_t comSpeed)
    {
        (void)comPort;
        (void)comSpeed;
        return true;
    }
    // The failure of the most recent open attempt (number 0 when it opened).
    virtual OpenFailure LastOpenFailure() const { return {}; }
    // The device port number `comPort` stands for ("" when none).
    virtual QString DevicePathOf(int comPort) const
    {
        (void)comPort;
        return {};
    }
    // A run's hold on the port, from the first frame it sends until it ends:
    // the device is the run's between two frames as well.
    virtual void BeginRun() {}
    virtual void EndRun() {}
    // How long a frame waits at most for room in the driver, in seconds.
    virtual void SetWriteTimeout(double seconds) { (void)seconds; }
    // Where the link's message boxes go (an open failure): title and text.
    std::function<void(const QString& title, const QString& text)> ShowMessage;
    // Told after every chunk of received bytes (a caller that does not wait
    // for its replies in a reply wait).
    std::function<void()> BytesArrived;

    // The traffic display (the traffic window; nullptr for none; not owned)
    // and the traffic log (Log.txt). A link without them ignores both.
    virtual void SetDisplay(TrafficDisplay* display) { (void)display; }
    virtual TrafficDisplay* Display() const { return nullptr; }
    virtual void SetLogging(bool on) { (void)on; }
    virtual bool Logging() const { return false; }
    // Why the traffic log missed a line since logging was switched on ("" when it did not).
    virtual QString LogFailure() const { return {}; }

protected:
    // The receive event: appends one chunk to ReceiveBuffer, reports the
    // buffer once it holds at least as many bytes as its first byte
    // announces, and empties it (after reporting it) beyond 80 bytes.
    void AppendReceived(QByteArrayView chunk);

    // Where the "RX: " report of AppendReceived goes (the traffic window and
    // log for the real link).
    virtual void ReportReceived(const QString& line) { (void)line; }

private:
    QByteArray receiveBuffer_;
    qsizetype discarded_ = 0;
};

// A run's hold on the link's port, for the run's length.
class RunHold {
public:
    explicit RunHold(Link& link) : link_(link) { link_.BeginRun(); }
    ~RunHold() { link_.EndRun(); }
    RunHold(const RunHold&) = delete;
    RunHold& operator=(const RunHold&) = delete;

private:
    Link& link_;
};

} // namespace vlboot
