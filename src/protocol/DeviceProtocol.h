#pragma once

#include "Link.h"
#include "StopRequest.h"
#include "WaitClock.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vlboot {

class Settings;

// Outcome of the last device operation.
namespace OpStates {
inline constexpr std::uint8_t Started = 3;       // and left at 3 on success
inline constexpr std::uint8_t Timeout = 4;       // no complete reply in time
inline constexpr std::uint8_t WriteFailed = 7;   // memory write
inline constexpr std::uint8_t EraseFailed = 8;   // flash block erase, flash CRC write
inline constexpr std::uint8_t ProgramFailed = 9; // flash block program
inline constexpr std::uint8_t CrcFailed = 10;    // CRC read
inline constexpr std::uint8_t DetectFailed = 11; // unusable detection reply
} // namespace OpStates

// Device types found by DetectDevice.
namespace DeviceTypes {
inline constexpr std::uint8_t None = 0;
inline constexpr std::uint8_t Fixture = 1;
inline constexpr std::uint8_t Amplifier = 2; // amplifier with its Velmora module
} // namespace DeviceTypes

// The device protocol: frames with length, network address, code and
// checksum, SFO messages inside them, the reply wait and device detection.
// The program has one of these (the main window's, or the command-line
// front end's); the bootloader operations build on it.
class DeviceProtocol {
public:
    DeviceProtocol(Link& link, const Settings& settings, WaitClock& clock);
    virtual ~DeviceProtocol() = default;
    DeviceProtocol(const DeviceProtocol&) = delete;
    DeviceProtocol& operator=(const DeviceProtocol&) = delete;

    std::array<std::uint8_t, 51> CommandFrame{}; // frame being sent, positions 1..N
    std::array<std::uint8_t, 51> SFOmessage{};   // SFO message, indices 0..L-1
    std::uint8_t OpState = OpStates::Started;
    std::uint8_t ExpectedReplyLength = 255;      // 255: not yet known
    double ReplyTimeout = 12.0;                  // seconds
    std::uint8_t DeviceType = DeviceTypes::None;

    // The bytes received since the last send (the link's buffer).
    QByteArray& ReceiveBuffer() { return link_.ReceiveBuffer; }

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
    // the frame was refused, or when a stop is requested). The event loop
    // runs meanwhile.
    bool WaitForReply();

    // The reply wait itself: lets the event loop run until ReceiveBuffer
    // holds exactly as many bytes as its first byte announces (true), or more
    // than `seconds` have passed, or a stop took effect (false). `expected`
    // is the announced length, 255 until the first byte is there.
    bool AwaitReply(double seconds, std::uint8_t& expected);

    // Where the waits look for a request to stop; none by default.
    void SetStopRequest(const StopRequest* stop) { stop_ = stop; }
    // The last wait ended because a stop was requested.
    bool Stopped() const { return stopped_; }

    // The status byte (byte 4) of the last complete reply; nothing when that
    // reply was shorter than 4 bytes.
    std::optional<std::uint8_t> LastReplyStatus() const { return lastStatus_; }

    // Asks what answers on the line: 1 fixture, 2 amplifier, 0 no usable
    // answer (OpState 4 after a time-out, 11 after an unusable reply).
    std::uint8_t DetectDevice();

    // The network address of a DevAdr text: its numeric value when that is a
    // whole number from 0 to 65535 ("12abc" is 12; "1.5", "-3", "70000" none).
    static std::optional<std::uint16_t> NetworkAddress(const QString& devAdr);

    // Seconds from each send to its complete reply, for the run's summary.
    const std::vector<double>& RoundTrips() const { return roundTrips_; }

    // Bytes thrown away by the link's 80-byte guard since the last send.
    qsizetype DiscardedBytes() const { return link_.DiscardedBytes; }

    // Byte k (1-based) of the reply in ReceiveBuffer.
    std::uint8_t ReplyByte(int k) const;

    // Empties ReceiveBuffer and marks the reply length as not yet known.
    void StartExchange();

    Link& link() { return link_; }
    WaitClock& clock() { return clock_; }
    const Settings& settings() const { return settings_; }

private:
    // NetworkAddress of the DevAdr setting, kept while the text is unchanged.
    std::optional<std::uint16_t> currentAddress();

    Link& link_;
    const Settings& settings_;
    WaitClock& clock_;
    bool refused_ = false; // the last frame was refused: its wait ends at once
    const StopRequest* stop_ = nullptr;
    bool stopped_ = false;
    std::optional<std::uint8_t> lastStatus_;
    std::vector<double> roundTrips_;
    bool addressRead_ = false;
    QString addressText_;
    std::optional<std::uint16_t> address_;
};

} // namespace vlboot
