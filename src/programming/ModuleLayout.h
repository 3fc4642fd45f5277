#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace vlboot {

// What a programming run knows of the module's memory and flash, written
// once: the texts that name these places are made from the same constants.
namespace ModuleLayout {

// A flash block is 64 KiB, numbered by address bits 16 to 23; a record's
// address is the offset inside its block.
inline constexpr int BlockSize = 0x10000;
// The most data bytes one memory write carries.
inline constexpr int MaxRecordBytes = 32;

// The flash blocks the amplifier run erases before it writes, in order.
inline constexpr std::array<std::uint8_t, 7> ErasedBlocks{0, 1, 2, 3, 4, 5, 42};
// The block where the module stores its flash CRC, at offsets 0 and 1.
inline constexpr std::uint8_t CrcBlock = 42;
inline constexpr int CrcBytes = 2;

// The fixture's serial-number record: 0x0B and the number's four bytes,
// most significant first, at this memory address.
inline constexpr std::int32_t SerialNumberAddress = 0x7FFB;
inline constexpr int SerialNumberRecordBytes = 5;
inline constexpr std::uint8_t SerialNumberMark = 0x0B;

// How long the run waits for the amplifier's boot-mode frame, in seconds.
inline constexpr double BootConfirmSeconds = 2.0;

bool IsErased(std::uint8_t block);
// "blocks 0 to 5 and 42": the erased blocks as a person reads them.
QString ErasedBlocksText();

} // namespace ModuleLayout
} // namespace vlboot
