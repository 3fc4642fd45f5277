#pragma once

#include <QIODevice>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vlboot::sim {

// The image a standard Intel HEX reader makes of a firmware file: the
// yardstick a programmed flash is held against. Written apart from the
// programming tool's own reading on purpose, and as most readers do it:
//   00 data        at base + offset + i (32-bit addresses, no wrap at 64 KiB)
//   01 end         stops the reading; whatever follows is not read
//   02 segment     base = value * 16
//   04 linear      base = value << 16
//   03, 05         start addresses: checked and ignored
// Later records win where they overlap. Every line's checksum is checked;
// blank lines are skipped; lines end at LF, CR LF or a lone CR.
struct StandardHexImage {
    static constexpr int BlockSize = 0x10000;

    // 64 KiB of the address space; bytes the file does not define are 0xFF.
    struct Block {
        std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(BlockSize, 0xFF);
        std::vector<bool> defined = std::vector<bool>(BlockSize, false);
        int definedCount = 0;
    };

    std::map<std::uint32_t, Block> blocks; // by address bits 16..31
    bool endRecord = false;                // the file has one (data after it is not read)

    // Whether the file defines the byte at `address`; its value in `value`.
    bool At(std::uint32_t address, std::uint8_t& value) const;
};

// Reads `in` to its end record (or its end). Every address is ANDed with
// `addressMask` first (0xFFFF folds the image into 64 KiB, later records
// still winning). False on a line no reader would take, with "line N: ..."
// in `error`; a line longer than the longest record (521 characters) is one.
bool ReadStandardHexImage(QIODevice& in, std::uint32_t addressMask, StandardHexImage& image, std::string& error);

} // namespace vlboot::sim
