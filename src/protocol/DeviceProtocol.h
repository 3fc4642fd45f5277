#pragma once

#include "Exchange.h"
#include "Outcome.h"
#include "Settings.h"
#include "Link.h"
#include "StopRequest.h"
#include "WaitClock.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace vlboot {


// Device types found by DetectDevice.
namespace DeviceTypes {
inline constexpr std::uint8_t None = 0;
inline constexpr std::uint8_t Fixture = 1;
inline constexpr std::uint8_t Amplifier = 2; // amplifier with its Velmora module
} // namespace DeviceTypes

// The device protocol: frames with length, network address, code and
// checksum, SFO messages inside them, the reply wait and device detection.
// It reads the port, speed and network address from the settings at every
// frame, so that a change from the menus applies from the next frame.
class DeviceProtocol {
public:
    DeviceProtocol(Link& link, const Settings& settings, WaitClock& clock, const StopRequest& stop);
    DeviceProtocol(const DeviceProtocol&) = delete;
    DeviceProtocol& operator=(const DeviceProtocol&) = delete;


    std::array<std::uint8_t, 51> CommandFrame{}; // frame being sent, positions 1..N
    std::array<std::uint8_t, 51> SFOmessage{};   // SFO message, indices 0..L-1
    std::uint8_t OpState = OpStates::Started;
    std::uint8_t ExpectedReplyLength = 255;      // 255: not yet known
    double ReplyTimeout = vlboot::DefaultReplyTimeout;   // seconds

    // The bytes received since the last send (the link's buffer).
    const QByteArray& ReceiveBuffer() const { return link_.ReceiveBuffer(); }
    // Byte k (1-based) of the reply in ReceiveBuffer, which must hold it.
    std::uint8_t ReplyByte(int k) const;
    // Empties ReceiveBuffer and marks the reply length as not yet known.
    void StartExchange();
    // Empties ReceiveBuffer once a reply has been used.
    void EmptyReceiveBuffer() { link_.EmptyReceiveBuffer(); }

    // Builds the frame of command `CommandIndex` around the payload the caller
    // left in CommandFrame from position 5, resets the port (clear input,
    // close, set up with the current port and speed) and sends it. Refuses,
    // sending nothing: an index above 92, a frame length below 4 or beyond
    // the buffer, a network address that is not a whole number 0..65535.
    bool SendCommandFrame(std::uint8_t CommandIndex);

    // Completes SFOmessage (indices 0..L-2 filled by the caller) with its
    // checksum and sends it in a frame of command 92. A length outside 2..38
    // is refused.
    bool SFOsendNew();

    // Waits for the reply to the frame just sent: true once ReceiveBuffer
    // holds exactly as many bytes as its first byte announces; false, with
    // OpState 4, once more than ReplyTimeout seconds have passed (at once when
    // the frame was refused, or when a stop takes effect). The event loop
    // runs meanwhile.
    bool WaitForReply();

    // The reply wait itself: lets the event loop run until ReceiveBuffer
    // holds exactly as many bytes as its first byte announces (true), or more
    // than `seconds` have passed, or a stop took effect (false). `expected`
    // is the announced length, 255 until the first byte is there.
    bool AwaitReply(double seconds, std::uint8_t& expected);

    // Asks what answers on the line: 1 fixture, 2 amplifier, 0 no usable
    // answer (OpState 4 after a time-out, 11 after an unusable reply).
    std::uint8_t DetectDevice();

    // The same in two halves, for a caller that does not wait (the watch of
    // a production line): the detection request sent, and, once
    // ReplyComplete(), the reply judged as DetectDevice judges it.
    bool SendDetection();
    std::uint8_t Detected();
    // ReceiveBuffer holds exactly as many bytes as its first byte announces
    // (a single detection reply; a reply wait is stricter, see AwaitReply).
    bool ReplyComplete() const;

    // The last wait ended because a stop took effect.
    bool Stopped() const { return stopped_; }
    // The status byte (byte 4) of the last complete reply; nothing when that
    // reply was shorter than 4 bytes.
    std::optional<std::uint8_t> LastReplyStatus() const { return lastStatus_; }
    // Bytes the link's 80-byte guard threw away since the last send.
    qsizetype DiscardedBytes() const { return link_.DiscardedBytes(); }
    // How the last operation's exchange ended: OpState, whether its frame
    // was sent, and what came back.
    Exchange LastExchange() const;

    // Told the seconds from each send to its complete reply.
    std::function<void(double seconds)> ExchangeCompleted;

    // Whether the DevAdr setting names an address a frame can carry; failed,
    // naming the text and the range, when it does not.
    Outcome CheckAddress();

    // The network address of a DevAdr text: its numeric value when that is a
    // whole number from 0 to 65535 ("12abc" is 12; "1.5", "-3", "70000" none).
    static std::optional<std::uint16_t> NetworkAddress(const QString& devAdr);
    static constexpr int HighestAddress = 65535;

private:
    // NetworkAddress of the DevAdr setting, kept while the text is unchanged.
    std::optional<std::uint16_t> currentAddress();

    Link& link_;
    const Settings& settings_;
    WaitClock& clock_;
    const StopRequest& stop_;
    bool refused_ = false; // the last frame was refused: its wait ends at once
    bool stopped_ = false;
    std::optional<std::uint8_t> lastStatus_;
    bool addressRead_ = false;
    QString addressText_;
    std::optional<std::uint16_t> address_;
};

} // namespace vlboot
