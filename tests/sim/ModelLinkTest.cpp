#include "Frames.h"
#include "ModelLink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;

namespace {

// One pass of event processing, as a reply wait makes it.
void Pass()
{
    QCoreApplication::processEvents();
}

// Lets the event loop run until the link has delivered everything; the
// deadline only guards against a hang.
void Settle(const ModelLink& link)
{
    const QDeadlineTimer guard(5000);
    while (link.PendingEmissions() > 0 && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    Pass();
}

TEST(ModelLink, RecordsPortSettingsAndResets)
{
    ModelLink link;
    EXPECT_TRUE(link.SetupMScomm(3, 2));
    EXPECT_TRUE(link.SetupMScomm(4, 1));
    EXPECT_EQ(link.SetupCount(), 2);
    EXPECT_EQ(link.LastPort(), 4);
    EXPECT_EQ(link.LastSpeed(), 1);
    link.ReceiveBuffer = "junk";
    link.ClearMScommInput();
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
    EXPECT_EQ(link.ClearCount(), 1);
    link.CloseMScomm();
    EXPECT_EQ(link.CloseCount(), 1);
    EXPECT_FALSE(link.IsOpen());
}

TEST(ModelLink, RepliesArriveOnlyThroughTheEventLoop)
{
    ModelLink link(DeviceKind::Fixture);
    link.SendMScommString(Detect());
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
    ASSERT_EQ(link.SentFrames().size(), 1u);
    EXPECT_EQ(link.SentFrames()[0], Detect());
    Pass();
    EXPECT_EQ(link.ReceiveBuffer, Bytes({0x08, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x06}));
    EXPECT_EQ(link.RxLines(), QStringList{QStringLiteral("RX: 08 01 00 00 FF FF FF 06 ")});
}

TEST(ModelLink, BootFrameArrivesInALaterPassThanTheReply)
{
    ModelLink link;
    link.SendMScommString(BootEnter());
    Pass();
    EXPECT_EQ(link.ReceiveBuffer, Bytes({0x05, 0x01, 0x00, 0x00, 0x06}));
    // The boot-mode operation empties the buffer after the reply; the boot
    // frame is still on its way and is collected on its own.
    link.ClearMScommInput();
    EXPECT_EQ(link.PendingEmissions(), 1);
    Pass();
    EXPECT_EQ(link.ReceiveBuffer, Bytes({0x05, 0x01, 0x40, 0x00, 0x46}));
    EXPECT_EQ(link.PendingEmissions(), 0);
}

TEST(ModelLink, ChunkedReplyArrivesChunkByChunk)
{
    ModelLink link;
    link.Model().InjectFault(Request::CrcRead, 1, {FaultKind::Chunked, 0, 2});
    link.SendMScommString(CrcRead());
    const QByteArray whole = Bytes({0x07, 0x01, 0x00, 0x00, 0x00, 0x00, 0x08});
    for (int size : {2, 4, 6, 7}) {
        Pass();
        EXPECT_EQ(link.ReceiveBuffer, whole.left(size));
    }
    // Only the complete reply is reported.
    EXPECT_EQ(link.RxLines().size(), 1);
}

TEST(ModelLink, DelaysAreKeptWhenAsked)
{
    ModelLink link;
    link.HonourDelays = true;
    link.Model().bootConfirmDelayMs = 20;
    link.SendMScommString(BootEnter());
    Settle(link);
    EXPECT_EQ(link.ReceiveBuffer, Bytes({0x05, 0x01, 0x00, 0x00, 0x06, 0x05, 0x01, 0x40, 0x00, 0x46}));
    EXPECT_TRUE(link.Model().InBootMode());
}

TEST(ModelLink, OversizedReplyMeetsTheReceiveGuard)
{
    ModelLink link;
    link.Model().InjectFault(Request::MemoryWrite, 1, {FaultKind::Oversized});
    link.SendMScommString(Write(0, Bytes({1})));
    Settle(link);
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
    EXPECT_FALSE(link.RxLines().isEmpty());
}

TEST(ModelLink, ClosedPortLosesFramesAndReplies)
{
    ModelLink link;
    link.FailOpen = true;
    EXPECT_FALSE(link.SetupMScomm(1, 0));
    link.SendMScommString(Detect());
    Settle(link);
    EXPECT_EQ(link.SentFrames().size(), 1u);
    EXPECT_TRUE(link.Model().Requests().empty());
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());

    // A reply due while the port is closed is lost as well.
    link.FailOpen = false;
    EXPECT_TRUE(link.SetupMScomm(1, 0));
    link.SendMScommString(Detect());
    link.CloseMScomm();
    Settle(link);
    EXPECT_EQ(link.Model().Count(Request::Detect), 1);
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
}

TEST(ModelLink, SilentLineNeverAnswers)
{
    ModelLink link(DeviceKind::Silent);
    link.SendMScommString(Detect());
    Settle(link);
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
    EXPECT_EQ(link.Model().Count(Request::Detect), 1);
}

} // namespace
