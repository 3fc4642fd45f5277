#include "CommandTable.h"
#include "DeviceProtocol.h"
#include "FakeWaitClock.h"
#include "ScriptedDeviceTest.h"
#include "ScriptedLink.h"
#include "Settings.h"
#include "TestFiles.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

struct ReplyWait : ScriptedDeviceTest<DeviceProtocol> {
    DeviceProtocol& protocol = device;

    bool exchange(std::vector<QByteArray> chunks)
    {
        link.Script.push_back(std::move(chunks));
        protocol.StartExchange();
        protocol.CommandFrame[5] = 1;
        protocol.SendCommandFrame(91);
        return protocol.WaitForReply();
    }
};

} // namespace

TEST_F(ReplyWait, ReplyInChunksCompletesWithTheLastChunk)
{
    const double start = clock.Now();
    EXPECT_TRUE(exchange({Bytes("05"), Bytes("01 00"), Bytes("00 06")}));
    EXPECT_EQ(link.ReceiveBuffer, Bytes("05 01 00 00 06"));
    EXPECT_EQ(protocol.ExpectedReplyLength, 5);
    EXPECT_EQ(clock.Now(), start); // no time had to pass
    ASSERT_EQ(link.RxLines.size(), 1u);
    EXPECT_EQ(link.RxLines[0], "RX: 05 01 00 00 06 ");
}

TEST_F(ReplyWait, RepliesThatCanNeverMatchTheirLengthOnlyTimeOut)
{
    const std::vector<std::vector<QByteArray>> never = {
        {},                                  // silence
        {Bytes("00 05 01 00 00 06")},        // a stray byte ahead of the reply
        {Bytes("00")},                       // first byte 0
        {Bytes("FF 01 00 00")},              // first byte 255: length never known
        {Bytes("05 01 00 00 06 07")},        // two replies run together
        {Bytes("05 01 00"), Bytes("00 06 07")},
        // announced 5 bytes, then 81 more (the guard empties the buffer),
        // then a 9-byte reply: the 5 bytes it holds are not the reply
        {Bytes("05"), QByteArray(81, 'x'), Bytes("09 01 00 00 33")},
        // announced 0 bytes, then the guard empties the buffer: an empty
        // buffer is no reply either
        {Bytes("00"), QByteArray(81, 'x')},
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

TEST_F(ReplyWait, ExactlyTheTimeOutStillWaitsAndAReplyThenCompletes)
{
    // A reply arriving when exactly ReplyTimeout has passed is still taken.
    link.Script.push_back({});
    protocol.StartExchange();
    protocol.SendCommandFrame(1);
    const double start = clock.Now();
    struct Late final : WaitClock {
        FakeWaitClock& c;
        ScriptedLink& l;
        double at;
        bool sent = false;
        Late(FakeWaitClock& c, ScriptedLink& l, double at) : c(c), l(l), at(at) {}
        double Now() override { return c.Now(); }
        void WaitForEvents(double deadline) override
        {
            if (!sent) {
                c.advance(at - c.Now()); // the clock stands at exactly the time-out
                sent = true;
                QMetaObject::invokeMethod(&l, [this] { l.Arrive(Bytes("05 01 00 00 06")); }, Qt::QueuedConnection);
                return;
            }
            c.WaitForEvents(deadline);
        }
    } late(clock, link, start + 12.0);
    DeviceProtocol p(link, settings, late);
    p.StartExchange();
    link.ReceiveBuffer.clear();
    EXPECT_TRUE(p.WaitForReply());
}

TEST_F(ReplyWait, RoundTripsAreRecordedForCompleteRepliesOnly)
{
    EXPECT_TRUE(exchange({Bytes("05 01 00 00 06")}));
    EXPECT_FALSE(exchange({}));
    EXPECT_EQ(protocol.RoundTrips().size(), 1u);
}

TEST(ReplyWaitRealClock, GivesUpOnlyAfterTheTimeOutWithoutSpinning)
{
    RSfunctions::InitCommandTable();
    TestFolder dir;
    Settings settings(dir.path());
    ScriptedLink link;
    SteadyWaitClock clock;
    DeviceProtocol protocol(link, settings, clock);
    protocol.ReplyTimeout = 0.3;
    protocol.StartExchange();
    protocol.SendCommandFrame(1);
    const double start = clock.Now();
    EXPECT_FALSE(protocol.WaitForReply());
    const double elapsed = clock.Now() - start;
    EXPECT_GT(elapsed, 0.3);
    EXPECT_LT(elapsed, 5.0);
}

TEST(ReplyWaitRealClock, EveryWaitWakesAtItsOwnDeadlineOrAtAnEvent)
{
    // One timer serves all the waits of the clock: each wait must still end
    // at its own deadline, and an event must still end a wait early.
    SteadyWaitClock clock;
    bool watchdog = false;
    QTimer guard; // a broken wait ends here, not never
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { watchdog = true; });
    guard.start(4000);
    const auto waitUntil = [&](double deadline) {
        int passes = 0;
        while (clock.Now() < deadline && !watchdog) {
            clock.WaitForEvents(deadline);
            ++passes;
        }
        return passes;
    };
    const double start = clock.Now();
    EXPECT_LE(waitUntil(start + 0.05), 3); // it blocks: a pass or two, not a spin

    bool fired = false;
    QTimer event;
    event.setSingleShot(true);
    QObject::connect(&event, &QTimer::timeout, [&] { fired = true; });
    event.start(0);
    clock.WaitForEvents(clock.Now() + 30.0);
    EXPECT_TRUE(fired);

    const double second = clock.Now();
    EXPECT_LE(waitUntil(second + 0.05), 3); // a shorter deadline after a longer one
    EXPECT_FALSE(watchdog);
    EXPECT_LT(clock.Now() - start, 3.0);
}
