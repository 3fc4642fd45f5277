#pragma once

#include <array>
#include <cstdint>

namespace vlboot {

// One command of the amplifier's serial protocol: the code byte that goes on
// the wire and the total length of its frame. The four flags travel with the
// table; the programming tool does not use them.
struct CommandRecord {
    std::uint8_t Code = 0;
    std::uint8_t FrameLength = 0;
    std::int16_t Flag1 = 0; // 16-bit Booleans: -1 (all bits set) is true
    std::int16_t Flag2 = 0;
    std::int16_t Flag3 = 0;
    std::int16_t Flag4 = 0;
};

// The command table: indices 1..92 hold the protocol's vocabulary, index 0
// stays empty. Callers name a command by its index, not by its code.
namespace RSfunctions {

inline constexpr int CommandCount = 92;
inline constexpr std::uint8_t BootControlCommand = 91; // code 0xF7, payload 1 = enter, 2 = exit boot mode
inline constexpr std::uint8_t SFOcommand = 92;         // code 0xF8, carries one SFO message

using Table = std::array<CommandRecord, CommandCount + 1>;

// The table, filled when the program is built: there is nothing to set up
// before the first frame.
const Table& CommandTable();

} // namespace RSfunctions
} // namespace vlboot
