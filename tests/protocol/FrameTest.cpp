#include "CommandTable.h"
#include "DeviceProtocol.h"
#include "FakeWaitClock.h"
#include "ScriptedDeviceTest.h"
#include "ScriptedLink.h"
#include "Settings.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

struct FrameFixture : ScriptedDeviceTest<DeviceProtocol> {
    DeviceProtocol& protocol = device;

    QByteArray sendSfo(std::initializer_list<int> message)
    {
        int i = 0;
        for (const int b : message)
            protocol.SFOmessage[i++] = static_cast<std::uint8_t>(b);
        EXPECT_TRUE(protocol.SFOsendNew());
        return link.Sent.back();
    }
};

} // namespace

TEST_F(FrameFixture, BootControlFramesAtAddressOne)
{
    protocol.CommandFrame[5] = 1;
    EXPECT_TRUE(protocol.SendCommandFrame(91));
    protocol.CommandFrame[5] = 2;
    EXPECT_TRUE(protocol.SendCommandFrame(91));
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(link.Sent[0], Bytes("06 01 00 F7 01 FF"));
    EXPECT_EQ(link.Sent[1], Bytes("06 01 00 F7 02 00")); // the checksum wraps to 0
}

TEST_F(FrameFixture, SfoMessagesGetTheirChecksumAndATwoChecksumFrame)
{
    EXPECT_EQ(sendSfo({4, 0x23, 0x10}), Bytes("09 01 00 F8 04 23 10 37 70"));
    EXPECT_EQ(sendSfo({5, 0x23, 0x42, 3}).mid(4, 5), Bytes("05 23 42 03 6D"));
    EXPECT_EQ(sendSfo({5, 0x23, 0x43, 3}).mid(4, 5), Bytes("05 23 43 03 6E"));
    EXPECT_EQ(sendSfo({4, 0x23, 0x44}).mid(4, 4), Bytes("04 23 44 6B"));
    EXPECT_EQ(sendSfo({4, 0x23, 0x45}).mid(4, 4), Bytes("04 23 45 6C"));
    settings.DevAdr = "300";
    EXPECT_EQ(sendSfo({5, 0x23, 0x42, 5}), Bytes("0A 2C 01 F8 05 23 42 05 6F 0D"));
}

TEST_F(FrameFixture, LongestMessageMakesA43ByteFrame)
{
    protocol.SFOmessage[0] = 38;
    for (int i = 1; i < 37; ++i)
        protocol.SFOmessage[i] = static_cast<std::uint8_t>(0xC0 + i);
    ASSERT_TRUE(protocol.SFOsendNew());
    const QByteArray frame = link.Sent.back();
    ASSERT_EQ(frame.size(), 43);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[0]), 43);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[41]), protocol.SFOmessage[37]); // the message's checksum
    unsigned sum = 0;
    for (int i = 0; i < 42; ++i)
        sum += static_cast<std::uint8_t>(frame[i]);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[42]), sum % 256);
}

TEST_F(FrameFixture, NetworkAddressGoesLowByteFirst)
{
    const struct {
        const char* devAdr;
        const char* bytes;
    } cases[] = {{"0", "00 00"}, {"255", "FF 00"}, {"256", "00 01"}, {"65535", "FF FF"}, {"12abc", "0C 00"}, {" 7", "07 00"}, {"abc", "00 00"}};
    for (const auto& c : cases) {
        settings.DevAdr = c.devAdr;
        ASSERT_TRUE(protocol.SendCommandFrame(1)) << c.devAdr;
        EXPECT_EQ(link.Sent.back().mid(1, 2), Bytes(c.bytes)) << c.devAdr;
    }
}

TEST_F(FrameFixture, AChangedAddressTakesEffectAtTheNextFrame)
{
    // The address text is read once and kept until it changes: a change in
    // either direction, good to bad and back, must show at the next frame.
    const struct {
        const char* devAdr;
        bool sent;
        const char* bytes;
    } steps[] = {{"1", true, "01 00"}, {"1", true, "01 00"}, {"300", true, "2C 01"}, {"70000", false, ""},
                 {"70000", false, ""}, {"300", true, "2C 01"}, {"", true, "00 00"}, {"1", true, "01 00"}};
    for (const auto& step : steps) {
        settings.DevAdr = step.devAdr;
        const auto before = link.Sent.size();
        EXPECT_EQ(protocol.SendCommandFrame(1), step.sent) << step.devAdr;
        ASSERT_EQ(link.Sent.size(), before + (step.sent ? 1 : 0)) << step.devAdr;
        if (step.sent) {
            EXPECT_EQ(link.Sent.back().mid(1, 2), Bytes(step.bytes)) << step.devAdr;
        }
    }
}

TEST_F(FrameFixture, FramesThatCannotBeRightAreNeverSent)
{
    for (const char* bad : {"1.5", "-3", "70000", "65536"}) {
        settings.DevAdr = bad;
        EXPECT_FALSE(protocol.SendCommandFrame(91)) << bad;
        EXPECT_FALSE(protocol.WaitForReply()) << bad; // ends at once as a time-out
        EXPECT_EQ(protocol.OpState, OpStates::Timeout);
    }
    settings.DevAdr = "1";
    EXPECT_FALSE(protocol.SendCommandFrame(0));   // length 0
    EXPECT_FALSE(protocol.SendCommandFrame(93));  // beyond the table
    EXPECT_FALSE(protocol.SendCommandFrame(255));
    protocol.SFOmessage[0] = 1;
    EXPECT_FALSE(protocol.SFOsendNew());
    protocol.SFOmessage[0] = 39;
    EXPECT_FALSE(protocol.SFOsendNew());
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_EQ(link.Setups, 0); // the port is not touched either
    EXPECT_EQ(clock.waits(), 0);
}

TEST_F(FrameFixture, ShortestAndLongestSfoLengthsAreSent)
{
    protocol.SFOmessage[0] = 2;
    protocol.SFOmessage[1] = 0x23; // overwritten by the checksum
    EXPECT_TRUE(protocol.SFOsendNew());
    EXPECT_EQ(link.Sent.back(), Bytes("07 01 00 F8 02 02 04"));
}

TEST_F(FrameFixture, RecordsWithoutPayloadAndTableLengthsApartFromIndex92)
{
    ASSERT_TRUE(protocol.SendCommandFrame(2)); // code 0x10, length 5
    EXPECT_EQ(link.Sent.back(), Bytes("05 01 00 10 16"));
    protocol.CommandFrame[5] = 0xAA;
    protocol.CommandFrame[6] = 0xBB;
    protocol.CommandFrame[7] = 0xCC;
    ASSERT_TRUE(protocol.SendCommandFrame(50)); // code 0x5B, its own length 8
    EXPECT_EQ(link.Sent.back().size(), 8);
    EXPECT_EQ(link.Sent.back().left(7), Bytes("08 01 00 5B AA BB CC"));
}

TEST_F(FrameFixture, EveryFrameResetsThePortWithTheCurrentSettings)
{
    link.ReceiveBuffer = "stale";
    settings.ComPort = 5;
    settings.ComSpeed = 1;
    ASSERT_TRUE(protocol.SendCommandFrame(1));
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
    EXPECT_EQ(link.Clears, 1);
    EXPECT_EQ(link.Closes, 1);
    EXPECT_EQ(link.LastPort, 5);
    EXPECT_EQ(link.LastSpeed, 1);
    settings.ComPort = 3;
    settings.ComSpeed = 2;
    ASSERT_TRUE(protocol.SendCommandFrame(1));
    EXPECT_EQ(link.Setups, 2);
    EXPECT_EQ(link.LastPort, 3);
    EXPECT_EQ(link.LastSpeed, 2);
}
