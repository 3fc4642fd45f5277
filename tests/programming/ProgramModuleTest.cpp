#include "RunFixture.h"

#include <QFile>

using namespace vlboot;
using namespace vlboot::test;
using sim::BlockRecord;
using sim::EndRecord;
using sim::Request;

namespace {
const QStringList Start = {"Init", "KVX5500+ with Velmora found", "Checking file...", "File found", "File ok"};
} // namespace

TEST_F(RunFixture, TwoBlocksAreProgrammedAtTheBlockChangeAndAtTheEnd)
{
    const sim::Image image = sim::MakeImage({.firstBlock = 0, .blockCount = 2, .bytesPerBlock = 256});
    EXPECT_TRUE(program(image.hex));
    EXPECT_EQ(run.Outcome(), RunOutcome::Success);
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*8 crc program0 write*8 crc program1 flashcrc exit");
    EXPECT_EQ(view.captions, (Start + QStringList{"Programming Velmora module", "Done with succes"}));
    EXPECT_EQ(model().Flash().at(0), image.blocks.at(0));
    EXPECT_EQ(model().Flash().at(1), image.blocks.at(1));
    EXPECT_EQ(view.boxes, 0);
    ASSERT_FALSE(view.progress.empty());
    EXPECT_EQ(view.progress.front(), 0);
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(view.progress.begin(), view.progress.end()));
}

TEST_F(RunFixture, AddressRecordBeforeAnyDataStartsThatBlockWithoutABlockEnd)
{
    EXPECT_TRUE(program(BlockRecord(3) + DataRecord(0x10, 4) + EndRecord()));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program3 flashcrc exit");
    EXPECT_EQ(model().Flash().at(3).mid(0x10, 4), QByteArray::fromHex("00010203"));
}

TEST_F(RunFixture, SecondAddressRecordInARowIsIgnored)
{
    EXPECT_TRUE(program(BlockRecord(1) + DataRecord(0, 2) + BlockRecord(2) + BlockRecord(3) + DataRecord(0, 2, 9) + EndRecord()));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program1 write*1 crc program2 flashcrc exit");
    EXPECT_EQ(model().ProgrammedBlocks(), (std::vector<int>{1, 2}));
    EXPECT_EQ(model().Flash().at(2).left(2), QByteArray::fromHex("090A"));
}

TEST_F(RunFixture, DataBeforeTheFirstAddressRecordBelongToItsBlock)
{
    // The first address record names the current block at once, so the data
    // already in memory are programmed as that block at the next change.
    EXPECT_TRUE(program(DataRecord(0, 2) + BlockRecord(1) + DataRecord(0x10, 2, 9) + EndRecord()));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program1 write*1 crc program1 flashcrc exit");
}

TEST_F(RunFixture, WithoutEndRecordTheLastBlockIsNotProgrammedButTheRunSucceeds)
{
    EXPECT_TRUE(program(BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8)));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program0 write*1 flashcrc exit");
    EXPECT_EQ(view.captions.last(), "Done with succes");
}

TEST_F(RunFixture, FileWithoutAddressRecordsIsProgrammedAsBlock255)
{
    EXPECT_TRUE(program(DataRecord(0, 8) + EndRecord()));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program255 flashcrc exit");
}

TEST_F(RunFixture, EmptyOrShortLinedFilesEraseAndFinishWithoutWriting)
{
    for (const QByteArray& content : {QByteArray(), QByteArray(":0000\r\n\r\nabc\r\n:1\n")}) {
        useDevice(sim::DeviceKind::Amplifier);
        view = RecordingView();
        EXPECT_TRUE(program(content));
        EXPECT_EQ(requests(), "detect enter " + Erase + " flashcrc exit");
        EXPECT_EQ(view.captions.last(), "Done with succes");
        EXPECT_EQ(view.progress, std::vector<float>{0});
    }
}

TEST_F(RunFixture, LineShapesTheFileMayHave)
{
    // Lower-case digits, LF line ends, an unknown record type and a line of
    // six characters whose checksum happens to hold (":00000" reads as
    // count 0, type 0, checksum 0).
    QByteArray content = BlockRecord(0).toLower().replace("\r\n", "\n");
    content += DataRecord(0, 16, 0xA0).toLower();
    content += sim::HexRecord(0x05, 0, QByteArray::fromHex("00001234"));
    content += ":00000\r\n";
    content += EndRecord();
    EXPECT_TRUE(program(content));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program0 flashcrc exit");
    EXPECT_EQ(model().Flash().at(0).mid(0, 2), QByteArray::fromHex("A0A1"));
}

TEST_F(RunFixture, ProgressFollowsTheBytesWrittenAgainstTheCheckedTotal)
{
    QByteArray content = BlockRecord(0);
    for (int i = 0; i < 40; ++i)
        content += DataRecord(static_cast<std::uint16_t>(i * 25), 25);
    content += EndRecord();
    EXPECT_TRUE(program(content));
    ASSERT_EQ(view.progress.size(), 41u); // the reset to 0, then one per record
    EXPECT_FLOAT_EQ(view.progress[10], 25);  // 250 of 1000 bytes
    EXPECT_FLOAT_EQ(view.progress[40], 100);
    for (const float p : view.progress)
        EXPECT_LE(p, 100);
}
