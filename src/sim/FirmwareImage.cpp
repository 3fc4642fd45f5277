#include "FirmwareImage.h"

#include <QBuffer>
#include <algorithm>

namespace vlboot::sim {
namespace {

constexpr char Hex[] = "0123456789ABCDEF";

void appendByte(QByteArray& line, std::uint8_t b, unsigned& sum)
{
    line += Hex[b >> 4];
    line += Hex[b & 0x0F];
    sum += b;
}

} // namespace

QByteArray HexRecord(std::uint8_t type, std::uint16_t offset, QByteArrayView data)
{
    QByteArray line;
    line.reserve(13 + 2 * data.size());
    unsigned sum = 0;
    line += ':';
    appendByte(line, static_cast<std::uint8_t>(data.size()), sum);
    appendByte(line, static_cast<std::uint8_t>(offset >> 8), sum);
    appendByte(line, static_cast<std::uint8_t>(offset & 0xFF), sum);
    appendByte(line, type, sum);
    for (const char c : data)
        appendByte(line, static_cast<std::uint8_t>(c), sum);
    unsigned ignored = 0;
    appendByte(line, static_cast<std::uint8_t>((256 - (sum & 0xFF)) & 0xFF), ignored);
    line += "\r\n";
    return line;
}

QByteArray BlockRecord(std::uint8_t block, std::uint8_t upper)
{
    const char data[2] = {static_cast<char>(upper), static_cast<char>(block)};
    return HexRecord(0x04, 0, QByteArrayView(data, 2));
}

QByteArray EndRecord()
{
    return HexRecord(0x01, 0, {});
}

std::uint8_t ImageByte(std::uint32_t seed, std::int64_t index)
{
    // A cheap integer hash: deterministic, and different for every offset.
    std::uint64_t x = static_cast<std::uint64_t>(index) * 0x9E3779B97F4A7C15ull + seed;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<std::uint8_t>(x);
}

std::int64_t WriteImage(QIODevice& out, const ImageShape& shape)
{
    std::int64_t index = 0;
    QByteArray record;
    for (int b = 0; b < shape.blockCount; ++b) {
        const int blockNo = shape.firstBlock + b;
        out.write(BlockRecord(static_cast<std::uint8_t>(blockNo & 0xFF), static_cast<std::uint8_t>((blockNo >> 8) & 0xFF)));
        for (int offset = 0; offset < shape.bytesPerBlock; offset += shape.recordSize) {
            const int n = std::min(shape.recordSize, shape.bytesPerBlock - offset);
            record.resize(n);
            for (int i = 0; i < n; ++i)
                record[i] = static_cast<char>(ImageByte(shape.seed, index++));
            out.write(HexRecord(0x00, static_cast<std::uint16_t>(offset), record));
        }
    }
    out.write(EndRecord());
    return index;
}

Image MakeImage(const ImageShape& shape)
{
    Image image;
    QBuffer buffer(&image.hex);
    buffer.open(QIODevice::WriteOnly);
    WriteImage(buffer, shape);
    std::int64_t index = 0;
    for (int b = 0; b < shape.blockCount; ++b) {
        QByteArray block(65536, static_cast<char>(0xFF));
        for (int i = 0; i < shape.bytesPerBlock; ++i)
            block[i] = static_cast<char>(ImageByte(shape.seed, index++));
        image.blocks[(shape.firstBlock + b) & 0xFF] = block;
    }
    return image;
}

} // namespace vlboot::sim
