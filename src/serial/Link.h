#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace vlboot {

// The serial line as the protocol sees it: reset the port, put bytes on the
// line, and the bytes received since `ReceiveBuffer` was last emptied.
// `ComForm` is the real one; tests put a device model at the far end.
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

} // namespace vlboot
