#include "FirmwareCheck.h"
#include "FirmwareImage.h"
#include "FirmwareLine.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

TEST(CheckLineChecksum, IntelHexChecksumOfTheWholeRecord)
{
    EXPECT_TRUE(CheckLineChecksum(":020000040000FA"));
    EXPECT_FALSE(CheckLineChecksum(":020000040000FB"));
    EXPECT_FALSE(CheckLineChecksum(":020000040000F9"));
    EXPECT_TRUE(CheckLineChecksum(":00000001FF"));
    EXPECT_TRUE(CheckLineChecksum(":10000000000102030405060708090A0B0C0D0E0F78"));
    EXPECT_TRUE(CheckLineChecksum(":10000000000102030405060708090a0b0c0d0e0f78")); // lower case
    EXPECT_TRUE(CheckLineChecksum(":00000000")); // sum 0 wants checksum 0; missing digits read as 0
    EXPECT_FALSE(CheckLineChecksum(":0000000G01"));
}

TEST(FirmwareLine, ReadsFieldsByPositionAsTheyStand)
{
    const FirmwareLine l(":0412340001020304EE");
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(l.Offset(), 0x1234);
    EXPECT_EQ(l.Type(), 0);
    EXPECT_EQ(l.DataByte(3), 4);
    EXPECT_EQ(l.DataByte(10), 0); // past the end of the line
    EXPECT_TRUE(FirmwareLine(":0000").IsShort());
    EXPECT_FALSE(FirmwareLine(":00000").IsShort());
    EXPECT_EQ(FirmwareLine(":000").ByteAt(4), 0);
}

TEST(CheckFirmwareFile, CountsTheDataAndEndRecords)
{
    TestFolder dir;
    dir.write("a.ldr", sim::BlockRecord(0) + sim::HexRecord(0, 0, QByteArray(16, 1)) + sim::HexRecord(0x05, 0, "abcd")
                           + "\r\n:0000\r\nshort\r\n" + sim::HexRecord(1, 0, "xy"));
    int found = 0;
    const FirmwareCheckResult r = CheckFirmwareFile(dir.file("a.ldr"), [&] { ++found; });
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(r.totalBytes, 18); // 16 data bytes and the end record's 2
}

TEST(CheckFirmwareFile, RejectsAndSaysWhere)
{
    TestFolder dir;
    dir.write("bad.ldr", sim::BlockRecord(0) + ":020000040000FB\r\n");
    FirmwareCheckResult r = CheckFirmwareFile(dir.file("bad.ldr"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.failedLine, 2);

    r = CheckFirmwareFile(dir.file("none.ldr"));
    EXPECT_FALSE(r.found);
    EXPECT_TRUE(r.why.contains("no such file"));

    r = CheckFirmwareFile(dir.path()); // a folder exists but is no file to read
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.found);

    // A 33-byte end record would reach the memory write too.
    dir.write("long.ldr", sim::HexRecord(1, 0, QByteArray(33, 0)));
    r = CheckFirmwareFile(dir.file("long.ldr"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedLine, 1);

    // Unknown types may be of any size.
    dir.write("other.ldr", sim::HexRecord(7, 0xFFFF, QByteArray(40, 0)));
    EXPECT_TRUE(CheckFirmwareFile(dir.file("other.ldr")).ok);

    // Longer than any record can be: a fault at that line, read no further.
    dir.write("endless.ldr", sim::BlockRecord(0) + QByteArray(1 << 20, '0'));
    r = CheckFirmwareFile(dir.file("endless.ldr"));
    EXPECT_EQ(r.failedLine, 2);
    EXPECT_TRUE(r.why.contains("longer than any record")) << r.why.toStdString();
}
