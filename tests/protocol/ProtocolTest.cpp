// Frames on the wire, the reply wait and device detection, against a
// scripted far end and a clock that costs no real time.
#include "CommandTable.h"
#include "ScriptedProtocolTest.h"

using namespace vlboot;
using namespace vlboot::test;

namespace {

struct Protocol : ScriptedProtocolTest {
    // The frame an SFO message goes out in.
    QByteArray sendSfo(std::initializer_list<int> message)
    {
        int i = 0;
        for (const int b : message)
            protocol.SFOmessage[i++] = static_cast<std::uint8_t>(b);
        EXPECT_TRUE(protocol.SFOsendNew());
        return link.Sent.back();
    }
    // One boot-control exchange against the scripted chunks.
    bool exchange(std::vector<QByteArray> chunks)
    {
        link.Script.push_back(std::move(chunks));
        protocol.StartExchange();
        protocol.CommandFrame[5] = 1;
        protocol.SendCommandFrame(RSfunctions::BootControlCommand);
        return protocol.WaitForReply();
    }
};

} // namespace

TEST(CommandTable, RecordZeroStaysEmptyCodesRiseWithTheIndexAndFlagsAreBooleans)
{
    const auto& table = RSfunctions::CommandTable();
    EXPECT_EQ(table[0].Code, 0);
    EXPECT_EQ(table[0].FrameLength, 0);
    for (int i = 1; i <= RSfunctions::CommandCount; ++i) {
        EXPECT_GE(table[i].FrameLength, 5) << i; // length, address, code and checksum at least
        for (const std::int16_t flag : {table[i].Flag1, table[i].Flag2, table[i].Flag3, table[i].Flag4})
            EXPECT_TRUE(flag == 0 || flag == -1) << i << ": a 16-bit Boolean is 0 or -1, not " << flag;
        if (i > 1) {
            EXPECT_GT(table[i].Code, table[i - 1].Code) << i;
        }
    }
}

TEST_F(Protocol, FramesCarryLengthAddressCodePayloadAndChecksum)
{
    // (The boot-control frames are checked with the bootloader's requests.)
    ASSERT_TRUE(protocol.SendCommandFrame(2)); // no payload
    EXPECT_EQ(link.Sent.back(), Bytes("05 01 00 10 16"));
    ASSERT_TRUE(protocol.SendCommandFrame(50)); // index 50 keeps its own length, only 92 is computed
    EXPECT_EQ(link.Sent.back().size(), 8);

    EXPECT_EQ(sendSfo({4, 0x23, 0x10}), Bytes("09 01 00 F8 04 23 10 37 70"));
    EXPECT_EQ(sendSfo({2, 0x23}), Bytes("07 01 00 F8 02 02 04")); // the shortest message
    settings.DevAdr = "300";
    EXPECT_EQ(sendSfo({5, 0x23, 0x42, 5}), Bytes("0A 2C 01 F8 05 23 42 05 6F 0D"));

    // The longest message: 38 bytes, a 43-byte frame, both checksums.
    protocol.SFOmessage[0] = 38;
    std::fill(protocol.SFOmessage.begin() + 1, protocol.SFOmessage.begin() + 37, std::uint8_t(0xC0));
    ASSERT_TRUE(protocol.SFOsendNew());
    EXPECT_EQ(link.Sent.back(), Bytes("2B 2C 01 F8 26") + QByteArray(36, char(0xC0)) + Bytes("26 9C"));
}

TEST_F(Protocol, TheAddressIsReadAtEveryFrameLowByteFirst)
{
    const struct {
        const char* devAdr;
        const char* bytes; // "" when no frame may be sent
    } steps[] = {{"0", "00 00"},     {"255", "FF 00"},   {"256", "00 01"}, {"65535", "FF FF"}, {"12abc", "0C 00"},
                 {" 7", "07 00"},    {"abc", "00 00"},   {"70000", ""},    {"1.5", ""},        {"-3", ""},
                 {"65536", ""},      {"300", "2C 01"},   {"", "00 00"},    {"1", "01 00"}};
    for (const auto& step : steps) {
        settings.DevAdr = step.devAdr;
        const auto before = link.Sent.size();
        EXPECT_EQ(protocol.SendCommandFrame(1), *step.bytes != 0) << step.devAdr;
        if (*step.bytes)
            EXPECT_EQ(link.Sent.back().mid(1, 2), Bytes(step.bytes)) << step.devAdr;
        else
            EXPECT_EQ(link.Sent.size(), before) << step.devAdr;
    }
}

TEST_F(Protocol, FramesThatCannotBeRightTouchNothingAndTheirWaitEndsAtOnce)
{
    const double start = clock.Now();
    EXPECT_FALSE(protocol.SendCommandFrame(0)); // length 0
    EXPECT_FALSE(protocol.SendCommandFrame(93));
    for (const int length : {1, 39}) {
        protocol.SFOmessage[0] = static_cast<std::uint8_t>(length);
        EXPECT_FALSE(protocol.SFOsendNew()) << length;
    }
    EXPECT_FALSE(protocol.WaitForReply());
    EXPECT_EQ(protocol.OpState, OpStates::Timeout);
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_EQ(clock.Now(), start); // no wait ran
}

TEST_F(Protocol, EveryFrameEmptiesTheBufferAndResetsThePortWithTheCurrentSettings)
{
    link.Arrive("stale");
    settings.ComPort = 5;
    settings.ComSpeed = 1;
    ASSERT_TRUE(protocol.SendCommandFrame(1));
    EXPECT_TRUE(protocol.ReceiveBuffer().isEmpty());
    settings.ComPort = 3;
    settings.ComSpeed = 2;
    ASSERT_TRUE(protocol.SendCommandFrame(1));
    EXPECT_EQ(link.Setups, (std::vector<int>{105, 203}));
    EXPECT_EQ(link.Clears, 2);
}

TEST_F(Protocol, AReplyCompletesWithTheByteItsLengthAnnounces)
{
    double trip = -1;
    protocol.ExchangeCompleted = [&](double seconds) { trip = seconds; };
    const double start = clock.Now();
    EXPECT_TRUE(exchange({Bytes("05"), Bytes("01 00"), Bytes("00 06")}));
    EXPECT_EQ(protocol.ReceiveBuffer(), Bytes("05 01 00 00 06"));
    EXPECT_EQ(clock.Now(), start); // no time had to pass
    EXPECT_EQ(trip, 0.0);
    EXPECT_EQ(link.RxLines, std::vector<QString>{"RX: 05 01 00 00 06 "}); // reported once, when complete
    // The longest reply the buffer keeps: 80 bytes (beyond, the guard empties it).
    EXPECT_TRUE(exchange({Bytes("50") + QByteArray(79, 'x')}));
    EXPECT_EQ(protocol.ReceiveBuffer().size(), 80);
}

TEST_F(Protocol, RepliesThatCanNeverMatchTheirLengthTimeOutJustAfterTheTimeOut)
{
    const std::vector<std::vector<QByteArray>> never = {
        {},                                     // silence
        {Bytes("00 05 01 00 00 06")},           // a stray byte ahead of the reply
        {Bytes("00")},                          // length byte 0
        {Bytes("FF 01 00 00")},                 // length byte 255: never known
        {Bytes("05 01 00"), Bytes("00 06 07")}, // two replies run together
        // 5 announced, 81 more (the guard empties the buffer), then 5 other
        // bytes: they are not the reply whose length came first
        {Bytes("05"), QByteArray(81, 'x'), Bytes("09 01 00 00 33")},
        {Bytes("00"), QByteArray(81, 'x')}, // an emptied buffer is no reply either
    };
    for (const auto& script : never) {
        const double start = clock.Now();
        EXPECT_FALSE(exchange(script));
        EXPECT_EQ(protocol.OpState, OpStates::Timeout);
        EXPECT_GT(clock.Now() - start, protocol.ReplyTimeout);
        EXPECT_LT(clock.Now() - start, protocol.ReplyTimeout + 0.01);
        protocol.OpState = OpStates::Started;
    }
}

TEST_F(Protocol, AReplyAtExactlyTheTimeOutIsStillTaken)
{
    link.Script.push_back({});
    protocol.StartExchange();
    protocol.SendCommandFrame(1);
    const double due = clock.Now() + DefaultReplyTimeout;
    clock.BeforeWait = [&] { // the clock stands at exactly the time-out; the reply comes in the next pass
        if (clock.Now() >= due)
            return false;
        clock.advance(due - clock.Now());
        QMetaObject::invokeMethod(&link, [&] { link.Arrive(Bytes("05 01 00 00 06")); }, Qt::QueuedConnection);
        return true;
    };
    EXPECT_TRUE(protocol.WaitForReply());
}

TEST_F(Protocol, AStopEndsTheWaitAtOnceUnlessAStepHoldsItOff)
{
    stop.Request();
    {
        const StopRequest::Shield shield(stop);
        EXPECT_TRUE(exchange({Bytes("05 01 00 00 06")}));
    }
    EXPECT_FALSE(exchange({Bytes("05 01 00 00 06")})); // not even a reply ends it as a success
    EXPECT_TRUE(protocol.Stopped());
    EXPECT_EQ(protocol.OpState, OpStates::Timeout);
}

TEST_F(Protocol, DetectionTellsFixtureFromAmplifier)
{
    const struct {
        const char* reply;
        std::uint8_t type;
        std::uint8_t opState;
    } cases[] = {
        {"08 01 00 00 FF FF FF 06", DeviceTypes::Fixture, OpStates::Started},
        {"08 01 00 13 FF FF FF 19", DeviceTypes::Fixture, OpStates::Started}, // status 0x13 accepted
        {"08 01 00 00 02 05 01 11", DeviceTypes::Amplifier, OpStates::Started},
        {"08 01 00 00 00 FF FF 07", DeviceTypes::Amplifier, OpStates::Started}, // a fixture has all three FF
        {"08 01 00 00 FF 00 FF 07", DeviceTypes::Amplifier, OpStates::Started},
        {"08 01 00 00 FF FF 00 07", DeviceTypes::Amplifier, OpStates::Started},
        {"08 01 00 01 FF FF FF 07", DeviceTypes::None, OpStates::DetectFailed},
        {"06 01 00 00 FF 06", DeviceTypes::None, OpStates::DetectFailed},
        {"", DeviceTypes::None, OpStates::Timeout},
    };
    for (const auto& c : cases) {
        protocol.OpState = OpStates::Started;
        reply(c.reply);
        EXPECT_EQ(protocol.DetectDevice(), c.type) << c.reply;
        EXPECT_EQ(protocol.OpState, c.opState) << c.reply;
        EXPECT_EQ(link.Sent.back(), Bytes("09 01 00 F8 04 23 10 37 70"));
    }
}
