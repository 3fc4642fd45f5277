#include "DeviceModel.h"
#include "Frames.h"

#include <gtest/gtest.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;

namespace {

// All bytes the device answers to the given host bytes.
QByteArray Answer(DeviceModel& model, const QByteArray& bytes)
{
    QByteArray all;
    for (const Emission& e : model.Receive(bytes))
        all += e.bytes;
    return all;
}

QByteArray Filled(int size, char value)
{
    return QByteArray(size, value);
}

TEST(DeviceModelReplies, DetectionTellsAmplifierFromFixture)
{
    DeviceModel amp(DeviceKind::Amplifier);
    DeviceModel fixture(DeviceKind::Fixture);
    const QByteArray query = Bytes({0x09, 0x01, 0x00, 0xF8, 0x04, 0x23, 0x10, 0x37, 0x70});
    EXPECT_EQ(Answer(amp, query), Bytes({0x08, 0x01, 0x00, 0x00, 0x02, 0x05, 0x01, 0x11}));
    EXPECT_EQ(Answer(fixture, query), Bytes({0x08, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x06}));
    EXPECT_EQ(amp.Count(Request::Detect), 1);
    EXPECT_EQ(amp.Requests().at(0).frame, query);
}

TEST(DeviceModelReplies, ReplyCarriesTheAddressOfTheRequest)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray reply = Answer(amp, Detect(300));
    ASSERT_EQ(reply.size(), 8);
    EXPECT_EQ(reply.mid(1, 2), Bytes({0x2C, 0x01}));
    EXPECT_EQ(reply.at(7), Sum(reply.left(7)));
}

TEST(DeviceModelReplies, AmplifierSendsBootModeFrameSeparatelyAfterEnter)
{
    DeviceModel amp(DeviceKind::Amplifier);
    EXPECT_FALSE(amp.InBootMode());
    const auto enter = amp.Receive(Bytes({0x06, 0x01, 0x00, 0xF7, 0x01, 0xFF}));
    ASSERT_EQ(enter.size(), 2u);
    EXPECT_EQ(enter[0].delayMs, 0);
    EXPECT_EQ(enter[0].bytes, Bytes({0x05, 0x01, 0x00, 0x00, 0x06}));
    EXPECT_EQ(enter[1].delayMs, 5);
    EXPECT_EQ(enter[1].bytes, Bytes({0x05, 0x01, 0x40, 0x00, 0x46}));
    EXPECT_TRUE(amp.InBootMode());

    const auto exit = amp.Receive(Bytes({0x06, 0x01, 0x00, 0xF7, 0x02, 0x00}));
    ASSERT_EQ(exit.size(), 1u);
    EXPECT_EQ(exit[0].bytes, Bytes({0x05, 0x01, 0x00, 0x00, 0x06}));
    EXPECT_FALSE(amp.InBootMode());
    EXPECT_EQ(amp.Count(Request::BootEnter), 1);
    EXPECT_EQ(amp.Count(Request::BootExit), 1);
}

TEST(DeviceModelReplies, FixtureAnswersBootEnterOnce)
{
    DeviceModel fixture(DeviceKind::Fixture);
    const auto enter = fixture.Receive(BootEnter());
    ASSERT_EQ(enter.size(), 1u);
    EXPECT_EQ(enter[0].bytes, Bytes({0x05, 0x01, 0x00, 0x00, 0x06}));
    EXPECT_TRUE(fixture.InBootMode());
}

TEST(DeviceModelReplies, SilentLineRecordsButNeverAnswers)
{
    DeviceModel silent(DeviceKind::Silent);
    EXPECT_TRUE(silent.Receive(Detect() + BootEnter() + Write(0, Bytes({1}))).empty());
    EXPECT_EQ(silent.Requests().size(), 3u);
    EXPECT_FALSE(silent.InBootMode());
    EXPECT_EQ(silent.Memory(), Filled(DeviceModel::MemorySize, char(0xFF)));
}

TEST(DeviceModelReplies, SimpleRequestsGetFiveByteReplies)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray ok = Bytes({0x05, 0x01, 0x00, 0x00, 0x06});
    EXPECT_EQ(Answer(amp, Write(0x10, Bytes({0xAA}))), ok);
    EXPECT_EQ(Answer(amp, Bytes({0x0A, 0x01, 0x00, 0xF8, 0x05, 0x23, 0x42, 0x03, 0x6D, 0xDD})), ok);
    EXPECT_EQ(Answer(amp, Program(3)), ok);
    EXPECT_EQ(Answer(amp, CrcWrite()), ok);
    EXPECT_EQ(amp.Count(Request::Erase), 1);
    EXPECT_EQ(amp.Count(Request::Program), 1);
    EXPECT_EQ(amp.Count(Request::CrcWrite), 1);
}

TEST(DeviceModelMemory, WritesLandAtTheirAddressUpToTheLastByte)
{
    DeviceModel amp(DeviceKind::Amplifier);
    Answer(amp, Write(0x1234, Bytes({0x11, 0x22, 0x33})));
    EXPECT_EQ(amp.Memory().mid(0x1233, 5), Bytes({0xFF, 0x11, 0x22, 0x33, 0xFF}));

    QByteArray top(32, '\0');
    for (int i = 0; i < 32; ++i)
        top[i] = char(i);
    EXPECT_EQ(Answer(amp, Write(0xFFE0, top)).at(3), char(0x00));
    EXPECT_EQ(amp.Memory().right(32), top);
}

TEST(DeviceModelMemory, WritesOutsideTheRangeAreRefusedAndChangeNothing)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray refused = Bytes({0x05, 0x01, 0x00, 0x03, 0x09});
    EXPECT_EQ(Answer(amp, Write(0xFFFF, Bytes({1, 2}))), refused);     // would run past 0xFFFF
    EXPECT_EQ(Answer(amp, Write(0x0000, QByteArray(33, char(7)))), refused); // 33 data bytes
    EXPECT_EQ(Answer(amp, Write(0x0000, QByteArray())), refused);        // no data byte
    EXPECT_EQ(amp.Memory(), Filled(DeviceModel::MemorySize, char(0xFF)));
    EXPECT_EQ(amp.Count(Request::MemoryWrite), 3);
}

TEST(DeviceModelMemory, ProgramCopiesRamIntoFlashAndResetsRam)
{
    DeviceModel amp(DeviceKind::Amplifier);
    Answer(amp, Erase(0) + Erase(3));
    ASSERT_EQ(amp.Flash().size(), 2u);
    EXPECT_EQ(amp.Flash().at(3), Filled(DeviceModel::MemorySize, char(0xFF)));

    Answer(amp, Write(0x0002, Bytes({0x5A, 0xA5})));
    Answer(amp, Program(3));
    const QByteArray& block = amp.Flash().at(3);
    EXPECT_EQ(block.size(), DeviceModel::MemorySize);
    EXPECT_EQ(block.left(5), Bytes({0xFF, 0xFF, 0x5A, 0xA5, 0xFF}));
    EXPECT_EQ(amp.Memory(), Filled(DeviceModel::MemorySize, char(0xFF)));

    Answer(amp, Write(0x0000, Bytes({0x01})));
    Answer(amp, Program(0) + Program(3));
    EXPECT_EQ(amp.ProgrammedBlocks(), (std::vector<int>{3, 0, 3}));
    EXPECT_EQ(amp.Flash().at(0).at(0), char(0x01));
    // Programming again copies the (reset) RAM once more.
    EXPECT_EQ(amp.Flash().at(3), Filled(DeviceModel::MemorySize, char(0xFF)));

    Answer(amp, Erase(0));
    EXPECT_EQ(amp.Flash().at(0), Filled(DeviceModel::MemorySize, char(0xFF)));
}

TEST(DeviceModelMemory, FixtureKeepsItsImageAndIgnoresFlashRequests)
{
    DeviceModel fixture(DeviceKind::Fixture);
    Answer(fixture, Write(0x0100, Bytes({0x42})));
    // The serial number record of a fixture run.
    Answer(fixture, Write(0x7FFB, Bytes({0x0B, 0x00, 0x00, 0x03, 0xE8})));
    const QByteArray ok = Bytes({0x05, 0x01, 0x00, 0x00, 0x06});
    EXPECT_EQ(Answer(fixture, Erase(0)), ok);
    EXPECT_EQ(Answer(fixture, Program(0)), ok);
    EXPECT_EQ(Answer(fixture, CrcWrite()), ok);
    EXPECT_TRUE(fixture.Flash().empty());
    EXPECT_TRUE(fixture.ProgrammedBlocks().empty());
    EXPECT_FALSE(fixture.FlashCrcWritten());
    EXPECT_EQ(fixture.Memory().at(0x0100), char(0x42));
    EXPECT_EQ(fixture.Memory().mid(0x7FFB, 5), Bytes({0x0B, 0x00, 0x00, 0x03, 0xE8}));
}

TEST(DeviceModelCrc, Ccitt16OfKnownData)
{
    EXPECT_EQ(DeviceModel::Crc16(QByteArrayView("123456789")), 0x29B1);
    EXPECT_EQ(DeviceModel::Crc16(QByteArrayView()), 0xFFFF);
    // Continuing over pieces gives the CRC of the whole.
    EXPECT_EQ(DeviceModel::Crc16(QByteArrayView("6789"), DeviceModel::Crc16(QByteArrayView("12345"))), 0x29B1);
}

TEST(DeviceModelCrc, CrcReadReportsRamHighByteFirst)
{
    DeviceModel amp(DeviceKind::Amplifier);
    EXPECT_EQ(Answer(amp, CrcRead()), Bytes({0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 0x08})); // all 0xFF
    Answer(amp, Write(0x0100, QByteArray("123456789")));
    EXPECT_EQ(Answer(amp, CrcRead()), Bytes({0x07, 0x01, 0x00, 0x00, 0x2E, 0x07, 0x3D}));
}

TEST(DeviceModelCrc, FlashCrcCoversProgrammedBlocksExceptItsOwn)
{
    DeviceModel amp(DeviceKind::Amplifier);
    Answer(amp, Erase(42));
    Answer(amp, Write(0x8000, Bytes({0x55})) + Program(1));
    Answer(amp, Write(0x0000, Bytes({1, 2, 3, 4})) + Program(0));
    Answer(amp, Program(42)); // never part of the flash CRC
    Answer(amp, CrcWrite());
    EXPECT_TRUE(amp.FlashCrcWritten());
    EXPECT_EQ(amp.FlashCrc(), 0x9D63); // block 0, then block 1
    const QByteArray& crcBlock = amp.Flash().at(DeviceModel::CrcBlock);
    EXPECT_EQ(crcBlock.left(3), Bytes({0x9D, 0x63, 0xFF}));
    EXPECT_EQ(crcBlock.size(), DeviceModel::MemorySize);
}

TEST(DeviceModelFraming, FrameSplitAcrossCallsIsAnsweredWhenComplete)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray query = Detect();
    for (int i = 0; i < query.size() - 1; ++i) {
        EXPECT_TRUE(amp.Receive(query.mid(i, 1)).empty());
        EXPECT_EQ(amp.PendingInput(), i + 1);
    }
    EXPECT_EQ(amp.Receive(query.right(1)).size(), 1u);
    EXPECT_EQ(amp.PendingInput(), 0);
}

TEST(DeviceModelFraming, SeveralFramesInOneCallAreAnsweredInOrder)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray write = Write(0, Bytes({9}));
    const auto out = amp.Receive(Detect() + CrcRead() + write.left(4));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes.size(), 8);
    EXPECT_EQ(out[1].bytes.size(), 7);
    EXPECT_EQ(amp.Receive(write.mid(4)).size(), 1u);
    EXPECT_EQ(amp.Memory().at(0), char(9));
}

TEST(DeviceModelFraming, ImpossibleLengthBytesAreSkipped)
{
    DeviceModel amp(DeviceKind::Amplifier);
    // 0x00 and 0x04 are too short, 0x33 (51) and 0xFF too long for a frame.
    const auto out = amp.Receive(Bytes({0x00, 0x04, 0x33, 0xFF}) + Detect());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes.at(4), char(0x02));
    EXPECT_EQ(amp.Requests().size(), 1u);
}

TEST(DeviceModelFraming, BrokenFramesGetStatusAndChangeNothing)
{
    DeviceModel amp(DeviceKind::Amplifier);
    QByteArray badFrameSum = Write(0, Bytes({1}));
    badFrameSum[badFrameSum.size() - 1] = char(badFrameSum.back() + 1);
    QByteArray badMessageSum = Write(0, Bytes({1}));
    badMessageSum[badMessageSum.size() - 2] = char(badMessageSum.at(badMessageSum.size() - 2) + 1);
    badMessageSum[badMessageSum.size() - 1] = char(badMessageSum.back() + 1); // frame sum still right
    const QByteArray lengthMismatch = Frame(1, 0xF8, Bytes({0x05, 0x23, 0x44, 0x6C})); // L 5, 4 bytes

    const QByteArray checksumError = Bytes({0x05, 0x01, 0x00, 0x01, 0x07});
    EXPECT_EQ(Answer(amp, badFrameSum), checksumError);
    EXPECT_EQ(Answer(amp, badMessageSum), checksumError);
    EXPECT_EQ(Answer(amp, lengthMismatch), checksumError);
    EXPECT_EQ(amp.Memory().at(0), char(0xFF));
    EXPECT_EQ(amp.Count(Request::Unknown), 3);
    EXPECT_EQ(amp.Count(Request::MemoryWrite), 0);
}

TEST(DeviceModelFraming, UnknownCodesAndRequestsGetStatusTwo)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray unknown = Bytes({0x05, 0x01, 0x00, 0x02, 0x08});
    EXPECT_EQ(Answer(amp, Frame(1, 0x10, {})), unknown);                 // a command code the module does not serve
    EXPECT_EQ(Answer(amp, Sfo(Bytes({0x23, 0x99}))), unknown);           // unknown request
    EXPECT_EQ(Answer(amp, Sfo(Bytes({0x24, 0x10}))), unknown);           // wrong group
    EXPECT_EQ(Answer(amp, Frame(1, 0xF7, Bytes({3}))), unknown);         // boot sub-command 3
    EXPECT_EQ(Answer(amp, Frame(1, 0xF7, Bytes({1, 0}))).at(3), char(0x03)); // boot frame of 7 bytes
    EXPECT_EQ(Answer(amp, Sfo(Bytes({0x23, 0x42}))).at(3), char(0x03));  // erase without a block
    EXPECT_FALSE(amp.InBootMode());
    EXPECT_TRUE(amp.Flash().empty());
}

TEST(DeviceModelTiming, WorkTimesAreAdjustable)
{
    DeviceModel amp(DeviceKind::Amplifier);
    EXPECT_EQ(amp.WorkTimeMs(Request::MemoryWrite), 0);
    EXPECT_GT(amp.WorkTimeMs(Request::Program), amp.WorkTimeMs(Request::CrcRead));
    amp.workTimes.eraseMs = 7;
    EXPECT_EQ(amp.WorkTimeMs(Request::Erase), 7);
    EXPECT_EQ(amp.WorkTimeMs(Request::Unknown), 0);
}

} // namespace
