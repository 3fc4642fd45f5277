// The firmware file as both passes read it: its lines, the record fields,
// the checksum, and the checking pass.
#include "FirmwareCheck.h"
#include "FirmwareFile.h"
#include "FirmwareImage.h"
#include "FirmwareLine.h"
#include "TestFiles.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

namespace {

QList<QByteArray> allLines(QByteArray data, qsizetype maxLength = 1 << 30)
{
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer, maxLength);
    QList<QByteArray> lines;
    QByteArrayView line;
    while (reader.Next(line))
        lines.append(line.toByteArray() + (reader.TooLong() ? "<cut>" : ""));
    return lines;
}

} // namespace

TEST(FirmwareFile, LinesEndAtLfCrLfOrALoneCrEvenAcrossBlocks)
{
    using L = QList<QByteArray>;
    EXPECT_TRUE(allLines("").isEmpty());
    EXPECT_EQ(allLines("a\r\n\nb"), L({"a", "", "b"}));
    EXPECT_EQ(allLines("a\rb\r\rc\n\rd\r\n"), L({"a", "b", "", "c", "", "d"}));
    EXPECT_EQ(allLines(QByteArray("x\0y\n", 4)), L({QByteArray("x\0y", 3)}));

    // A line ending at the block's end, a CR LF split by it, lines over it.
    const qsizetype block = LineReader::BlockSize;
    const L lines{QByteArray(block - 1, 'a'), QByteArray(block - 12, 'b'), QByteArray(3 * block + 7, 'c'), QByteArray(block, 'd')};
    EXPECT_EQ(allLines(lines[0] + '\n' + lines[1] + "\r\n" + lines[2] + '\r' + lines[3]), lines);
    EXPECT_EQ(allLines(lines[0] + "\nf"), L({lines[0], "f"})); // the last read brings a single byte

    // Longer than allowed: cut after one character more, and nothing after.
    EXPECT_EQ(allLines("ok\n" + QByteArray(2 * block, 'x') + "\nnever", 10), L({"ok", "xxxxxxxxxxx<cut>"}));
}

TEST(FirmwareFile, RecordFieldsAndChecksum)
{
    EXPECT_EQ(FirmwareLine(":0412340001020304EE").DataByte(10), 0); // past the end of the line
    EXPECT_TRUE(FirmwareLine(":0000").IsShort());
    EXPECT_FALSE(FirmwareLine(":00000").IsShort());
    EXPECT_EQ(FirmwareLine("G1").ByteAt(1), 1); // a non-digit counts as 0
    EXPECT_EQ(FirmwareLine("1g").ByteAt(1), 16);

    EXPECT_TRUE(CheckLineChecksum(":020000040000FA"));
    EXPECT_FALSE(CheckLineChecksum(":020000040000FB")); // off by one either way
    EXPECT_FALSE(CheckLineChecksum(":020000040000F9"));
    EXPECT_TRUE(CheckLineChecksum(":10000000000102030405060708090a0b0c0d0e0f78")); // lower case
    EXPECT_TRUE(CheckLineChecksum(":00000000"));                                    // sum 0 wants 0
}

TEST(FirmwareFile, CheckingPassCountsAndRejectsNamingTheLine)
{
    TestFolder dir;
    dir.write("a.ldr", sim::BlockRecord(0) + sim::HexRecord(0, 0, QByteArray(16, 1)) + sim::HexRecord(0x05, 0, "abcd")
                           + "\r\n:0000\r\nshort\r\n" + sim::HexRecord(1, 0, "xy") + sim::HexRecord(0, 0, "after"));
    int found = 0;
    FirmwareCheckResult r = CheckFirmwareFile(dir.file("a.ldr"), [&] { ++found; });
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(r.totalBytes, 23); // 16 + the end record's 2 + 5 after it
    EXPECT_EQ(r.walk.writes, 2); // the memory writes: none after the end record

    const struct {
        QByteArray content;
        long long line;
        const char* why;
    } bad[] = {
        {sim::BlockRecord(0) + ":020000040000FB\r\n", 2, "checksum"},
        {sim::HexRecord(1, 0, QByteArray(33, 0)), 1, "record of 33 bytes"},
        {sim::HexRecord(0, 0xFFF0, QByteArray(17, 0)), 1, "runs past offset 0xFFFF"},
        {sim::BlockRecord(0) + QByteArray(1 << 20, '0'), 2, "longer than any record"},
    };
    for (const auto& b : bad) {
        dir.write("bad.ldr", b.content);
        r = CheckFirmwareFile(dir.file("bad.ldr"));
        EXPECT_FALSE(r.ok) << b.why;
        EXPECT_EQ(r.failedLine, b.line) << b.why;
        EXPECT_TRUE(r.why.contains(QStringLiteral("line %1: ").arg(b.line)) && r.why.contains(b.why)) << r.why.toStdString();
    }
    dir.write("other.ldr", sim::HexRecord(7, 0xFFFF, QByteArray(40, 0)) + sim::HexRecord(0, 0xFFE0, QByteArray(32, 0)));
    EXPECT_TRUE(CheckFirmwareFile(dir.file("other.ldr")).ok); // other types may be of any size; 32 bytes may end at 0xFFFF

    r = CheckFirmwareFile(dir.file("none.ldr"));
    EXPECT_FALSE(r.found);
    EXPECT_TRUE(CheckFirmwareFile("?").why.startsWith("no firmware file was chosen")); // the FirmwareFile setting's "none yet"
    r = CheckFirmwareFile(dir.path());
    EXPECT_TRUE(r.found && !r.ok); // a folder exists but is no file to read
    EXPECT_TRUE(r.why.contains("a folder")) << r.why.toStdString();
}
