#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <cstdint>
#include <map>

namespace vlboot::sim {

// Writing Intel HEX firmware files: the sample firmware, the benchmark
// images and the test files are all made here.

// One record line ":NNAAAATT<data>CC" with its checksum and CR LF.
QByteArray HexRecord(std::uint8_t type, std::uint16_t offset, QByteArrayView data);
// The extended linear address record that starts flash block `block`.
QByteArray BlockRecord(std::uint8_t block, std::uint8_t upper = 0);
// The end-of-file record.
QByteArray EndRecord();

// A deterministic image: `blockCount` flash blocks of `bytesPerBlock` bytes
// each (block numbers from `firstBlock` on, over bits 16..31 of the
// address), in records of `recordSize` bytes, ending with the end record.
struct ImageShape {
    int firstBlock = 0;
    int blockCount = 1;
    int bytesPerBlock = 65536;
    int recordSize = 32;
    std::uint32_t seed = 1;
};

// Writes the image's lines to `out`; returns the number of data bytes.
std::int64_t WriteImage(QIODevice& out, const ImageShape& shape);

// The image as text, with the flash content each block should end up with
// (keyed by block number; bytes not written stay 0xFF). For small images.
struct Image {
    QByteArray hex;
    std::map<int, QByteArray> blocks;
};
Image MakeImage(const ImageShape& shape);

// The data byte the image holds at `index` of its data stream.
std::uint8_t ImageByte(std::uint32_t seed, std::int64_t index);

} // namespace vlboot::sim
