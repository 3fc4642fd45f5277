#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace vlboot {

// Outcome of the last device operation (`OpState`).
namespace OpStates {
inline constexpr std::uint8_t Started = 3;       // and left at 3 on success
inline constexpr std::uint8_t Timeout = 4;       // no complete reply in time
inline constexpr std::uint8_t WriteFailed = 7;   // memory write
inline constexpr std::uint8_t EraseFailed = 8;   // flash block erase, flash CRC write
inline constexpr std::uint8_t ProgramFailed = 9; // flash block program
inline constexpr std::uint8_t CrcFailed = 10;    // CRC read
inline constexpr std::uint8_t DetectFailed = 11; // unusable detection reply
} // namespace OpStates

// How one request/reply exchange with the device ended, as the operation
// that made it judged it: what a caller needs to decide and to explain,
// without reading the link's buffer itself.
struct Exchange {
    std::uint8_t opState = OpStates::Started;
    bool sent = true;     // false: refused before anything went on the line
    bool stopped = false; // the wait ended because a stop took effect
    QByteArray reply;     // the complete reply, or the bytes that came instead
    qsizetype discarded = 0;            // bytes the 80-byte guard threw away meanwhile
    std::optional<std::uint8_t> status; // byte 4 of a complete reply of at least 4 bytes

    bool Succeeded() const { return opState == OpStates::Started && !stopped; }
    bool TimedOut() const { return opState == OpStates::Timeout && !stopped; }
    // The device answered, but refused or answered too short.
    bool Refused() const { return !Succeeded() && !TimedOut() && !stopped; }
};

} // namespace vlboot
