#include "DeviceModel.h"
#include "Frames.h"

#include <gtest/gtest.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;

namespace {

QByteArray Joined(const std::vector<Emission>& out)
{
    QByteArray all;
    for (const Emission& e : out)
        all += e.bytes;
    return all;
}

const QByteArray Ok = Bytes({0x05, 0x01, 0x00, 0x00, 0x06});

TEST(DeviceFaults, ErrorStatusHitsOnlyTheChosenOccurrenceAndRefusesIt)
{
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::MemoryWrite, 2, {FaultKind::ErrorStatus, 0x15});
    EXPECT_EQ(Joined(amp.Receive(Write(0, Bytes({0xA1})))), Ok);
    EXPECT_EQ(Joined(amp.Receive(Write(1, Bytes({0xA2})))), Bytes({0x05, 0x01, 0x00, 0x15, 0x1B}));
    EXPECT_EQ(Joined(amp.Receive(Write(2, Bytes({0xA3})))), Ok);
    EXPECT_EQ(amp.Memory().left(3), Bytes({0xA1, 0xFF, 0xA3}));
}

TEST(DeviceFaults, ErrorStatusOnEveryOccurrenceKeepsTheReplyLayout)
{
    DeviceModel fixture(DeviceKind::Fixture);
    fixture.InjectFault(Request::Detect, 0, {FaultKind::ErrorStatus, 0x13});
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Joined(fixture.Receive(Detect())), Bytes({0x08, 0x01, 0x00, 0x13, 0xFF, 0xFF, 0xFF, 0x19}));
}

TEST(DeviceFaults, RefusedBootEnterLeavesBootModeAndSendsNoBootFrame)
{
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::BootEnter, 1, {FaultKind::ErrorStatus, 0x02});
    const auto out = amp.Receive(BootEnter());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes.at(3), char(0x02));
    EXPECT_FALSE(amp.InBootMode());
}

TEST(DeviceFaults, SilenceDropsReplyAndRequest)
{
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::Program, 1, {FaultKind::Silence});
    amp.Receive(Write(0, Bytes({1})));
    EXPECT_TRUE(amp.Receive(Program(0)).empty());
    EXPECT_TRUE(amp.ProgrammedBlocks().empty());
    EXPECT_EQ(amp.Count(Request::Program), 1);
    EXPECT_EQ(Joined(amp.Receive(Program(0))), Ok);
    EXPECT_EQ(amp.ProgrammedBlocks(), std::vector<int>{0});
}

TEST(DeviceFaults, ChunkedReplyComesInPiecesThatAddUp)
{
    DeviceModel amp(DeviceKind::Amplifier);
    const QByteArray whole = Joined(amp.Receive(Detect()));
    amp.InjectFault(Request::Detect, 2, {FaultKind::Chunked, 0, 3});
    const auto out = amp.Receive(Detect());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].bytes.size(), 3);
    EXPECT_EQ(out[1].bytes.size(), 3);
    EXPECT_EQ(out[2].bytes.size(), 2);
    EXPECT_EQ(out[0].delayMs, 0);
    EXPECT_EQ(out[1].delayMs, amp.chunkDelayMs);
    EXPECT_EQ(Joined(out), whole);
}

TEST(DeviceFaults, ChunkedBootEnterKeepsBootFrameLast)
{
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::BootEnter, 0, {FaultKind::Chunked, 0, 1});
    const auto out = amp.Receive(BootEnter());
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out.back().bytes, Bytes({0x05, 0x01, 0x40, 0x00, 0x46}));
    EXPECT_EQ(out.back().delayMs, amp.bootConfirmDelayMs);
}

TEST(DeviceFaults, MisshapenReplies)
{
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::MemoryWrite, 1, {FaultKind::StrayByte});
    amp.InjectFault(Request::MemoryWrite, 2, {FaultKind::WrongLength});
    amp.InjectFault(Request::MemoryWrite, 3, {FaultKind::ShortReply});
    amp.InjectFault(Request::MemoryWrite, 4, {FaultKind::Oversized});

    const auto stray = amp.Receive(Write(0, Bytes({1})));
    ASSERT_EQ(stray.size(), 1u);
    EXPECT_EQ(stray[0].bytes, QByteArray(1, '\0') + Ok);

    EXPECT_EQ(Joined(amp.Receive(Write(0, Bytes({1})))), Bytes({0x06, 0x01, 0x00, 0x00, 0x07}));
    EXPECT_EQ(Joined(amp.Receive(Write(0, Bytes({1})))), Bytes({0x04, 0x01, 0x00, 0x00}));

    const QByteArray big = Joined(amp.Receive(Write(0, Bytes({1}))));
    EXPECT_EQ(big.size(), 81);
    EXPECT_EQ(big.at(0), char(0x51));
    EXPECT_EQ(big.back(), Sum(big.left(80)));
}

TEST(DeviceFaults, BootFrameMissingOrSpoilt)
{
    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::BootEnter, 1, {FaultKind::NoBootConfirm});
    amp.InjectFault(Request::BootEnter, 2, {FaultKind::BadBootConfirm, 0x00});
    amp.InjectFault(Request::BootEnter, 3, {FaultKind::BadBootConfirm, 0x14});

    const auto none = amp.Receive(BootEnter());
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].bytes, Ok);
    EXPECT_TRUE(amp.InBootMode());

    const auto marker = amp.Receive(BootEnter());
    ASSERT_EQ(marker.size(), 2u);
    EXPECT_EQ(marker[1].bytes, Bytes({0x05, 0x01, 0x41, 0x00, 0x47}));

    const auto status = amp.Receive(BootEnter());
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[1].bytes, Bytes({0x05, 0x01, 0x40, 0x14, 0x5A}));
}

TEST(DeviceFaults, GarbageIsRepeatableAndNeverACompleteReply)
{
    DeviceModel a(DeviceKind::Amplifier);
    DeviceModel b(DeviceKind::Amplifier);
    for (DeviceModel* m : {&a, &b})
        m->InjectFault(Request::CrcRead, 0, {FaultKind::Garbage});
    for (int i = 0; i < 20; ++i) {
        const QByteArray fromA = Joined(a.Receive(CrcRead()));
        EXPECT_EQ(fromA, Joined(b.Receive(CrcRead())));
        ASSERT_GE(fromA.size(), 5);
        EXPECT_LT(static_cast<std::uint8_t>(fromA.at(0)), fromA.size());
    }
    b.Seed(12345);
    EXPECT_NE(Joined(a.Receive(CrcRead())), Joined(b.Receive(CrcRead())));
}

TEST(DeviceFaults, FaultsOfOtherRequestsOrDevicesDoNothing)
{
    DeviceModel fixture(DeviceKind::Fixture);
    fixture.InjectFault(Request::BootEnter, 0, {FaultKind::BadBootConfirm, 0x14});
    fixture.InjectFault(Request::Erase, 0, {FaultKind::Silence});
    EXPECT_EQ(Joined(fixture.Receive(BootEnter())), Ok);
    EXPECT_EQ(Joined(fixture.Receive(Detect())).size(), 8);

    DeviceModel amp(DeviceKind::Amplifier);
    amp.InjectFault(Request::Erase, 0, {FaultKind::Silence});
    amp.ClearFaults();
    EXPECT_EQ(Joined(amp.Receive(Erase(1))), Ok);
}

} // namespace
