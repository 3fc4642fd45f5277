// The standard Intel HEX reader that vlboot-mkfw --verify holds a dump
// against: where each record's bytes land, which record wins, where the
// reading stops, and which lines it refuses.
#include "FirmwareImage.h"
#include "StandardHexImage.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace vlboot::sim;

namespace {

QByteArray Data(std::uint16_t offset, const QByteArray& bytes)
{
    return HexRecord(0x00, offset, bytes);
}

QByteArray Base(std::uint8_t type, std::uint16_t value)
{
    const char bytes[2] = {char(value >> 8), char(value & 0xFF)};
    return HexRecord(type, 0, QByteArrayView(bytes, 2));
}

struct Case {
    const char* what;
    QByteArray text;
    std::uint32_t mask;
    std::vector<std::pair<std::uint32_t, char>> bytes; // every byte the image defines
    bool endRecord;
    std::string error;
};

} // namespace

TEST(StandardHexImage, PlacesEveryRecordAsAStandardReaderDoes)
{
    const QByteArray badSum = QByteArray(":0100000041BF\r\n");
    const std::vector<Case> cases = {
        {"later records win (digits in either case)", (Data(0, "AB") + Data(1, "c")).toLower() + EndRecord(), ~0u,
         {{0, 'A'}, {1, 'c'}}, true, ""},
        {"02 is value * 16, 04 the upper 16 bits, the last one counts",
         Base(2, 0x1000) + Data(0x10, "s") + Base(4, 2) + Data(0, "l") + Base(2, 1) + Data(0, "S") + EndRecord(), ~0u,
         {{0x10010, 's'}, {0x20000, 'l'}, {0x10, 'S'}}, true, ""},
        {"a record runs on over 64 KiB", Base(4, 1) + Data(0xFFFF, "xy") + EndRecord(), ~0u,
         {{0x1FFFF, 'x'}, {0x20000, 'y'}}, true, ""},
        {"folded to 16 bits, the later record wins across blocks",
         Base(4, 1) + Data(0x10, "1") + Base(4, 0) + Data(0x10, "0") + EndRecord(), 0xFFFF, {{0x10, '0'}}, true, ""},
        {"nothing after the end record is read", Data(0, "a") + EndRecord() + Data(1, "b") + badSum, ~0u,
         {{0, 'a'}}, true, ""},
        {"no end record: every record counts", Data(0, "a") + HexRecord(0x03, 0, "1234") + HexRecord(0x05, 0, "1234"),
         ~0u, {{0, 'a'}}, false, ""},
        {"a bad checksum names its line, whatever the line ends",
         Data(0, "a").trimmed() + "\r" + Data(1, "b").trimmed() + "\n\n" + badSum, ~0u, {}, false,
         "line 4: bad checksum"},
        {"an unknown record type", Data(0, "a") + HexRecord(0x06, 0, {}), ~0u, {}, false, "line 2: unknown record type 6"},
        {"an address record of one byte", HexRecord(0x04, 0, "\x01"), ~0u, {}, false,
         "line 1: an address record needs 2 data bytes"},
        {"a count that does not match", ":0200000041BD\n", ~0u, {}, false, "line 1: its length does not match its byte count"},
        {"no colon", "0100000041BE\n", ~0u, {}, false, "line 1: no ':' at the start"},
        {"not hexadecimal", ":01000000x1BE\n", ~0u, {}, false, "line 1: not hexadecimal"},
        {"not hexadecimal either", ":01000000G1BE\n", ~0u, {}, false, "line 1: not hexadecimal"},
        {"a line longer than any record", QByteArray(":") + QByteArray(600, '0'), ~0u, {}, false,
         "line 1: longer than any record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray text = c.text;
        QBuffer in(&text);
        in.open(QIODevice::ReadOnly);
        StandardHexImage image;
        std::string error;
        EXPECT_EQ(ReadStandardHexImage(in, c.mask, image, error), c.error.empty());
        EXPECT_EQ(error, c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(image.endRecord, c.endRecord);
        int defined = 0;
        for (const auto& [key, block] : image.blocks)
            defined += block.definedCount;
        EXPECT_EQ(defined, static_cast<int>(c.bytes.size()));
        for (const auto& [address, value] : c.bytes) {
            std::uint8_t got = 0;
            EXPECT_TRUE(image.At(address, got)) << std::hex << address;
            EXPECT_EQ(got, static_cast<std::uint8_t>(value)) << std::hex << address;
        }
    }
}
