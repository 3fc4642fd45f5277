#include "ComFormFixture.h"

#include <QDir>

namespace vlboot::test {
namespace {

TEST_F(ComFormTest, BytesPassUnchangedBothWaysAndAreReported)
{
    ASSERT_TRUE(link->SetupMScomm(1, 2));
    EXPECT_EQ(link->PortDevice(), device.slavePath());
    const QByteArray frame = Bytes({0x07, 0x00, 0xFF, 0x00, 0x80, 0x7F, 0xFF});
    link->SendMScommString(frame);
    EXPECT_EQ(device.readAtLeast(frame.size(), Limit), frame);
    EXPECT_EQ(display.out, QStringList{"TX: 07 00 FF 00 80 7F FF "});
    EXPECT_EQ(link->LastOut(), "TX: 07 00 FF 00 80 7F FF ");

    const QByteArray reply = Bytes({0x04, 0x00, 0xFF, 0x00});
    ASSERT_TRUE(Reply(reply, 4));
    EXPECT_EQ(link->ReceiveBuffer, reply);
    EXPECT_EQ(display.in, QStringList{"RX: 04 00 FF 00 "});
    EXPECT_EQ(link->LastIn(), "RX: 04 00 FF 00 ");
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ComFormTest, ReplyInTwoChunksIsReportedOnceWhenComplete)
{
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    ASSERT_TRUE(Reply(Bytes({0x05, 0x00}), 2));
    EXPECT_EQ(link->ReceiveBuffer, Bytes({0x05, 0x00}));
    EXPECT_TRUE(display.in.isEmpty()) << "two of five bytes are not a reply yet";

    ASSERT_TRUE(Reply(Bytes({0x00, 0x00, 0x1A}), 5));
    ProcessPendingEvents();
    EXPECT_EQ(link->ReceiveBuffer, Bytes({0x05, 0x00, 0x00, 0x00, 0x1A}));
    EXPECT_EQ(display.in, QStringList{"RX: 05 00 00 00 1A "});
}

TEST_F(ComFormTest, ReplyLongerThanTheGuardIsReportedTwiceAndDropped)
{
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    QByteArray reply(81, '\x33');
    reply[0] = 0x51;
    ASSERT_TRUE(device.write(reply));
    ASSERT_TRUE(ProcessEventsUntil([&] { return display.in.size() >= 2; }, Limit));
    ProcessPendingEvents();

    const QString line = "RX: " + QString("51 ") + QString("33 ").repeated(80);
    EXPECT_EQ(display.in, (QStringList{line, line}));
    EXPECT_TRUE(link->ReceiveBuffer.isEmpty());
}

TEST_F(ComFormTest, ClearingInputDropsEverythingThatArrivedBefore)
{
    link->ClearMScommInput(); // harmless while closed
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    ASSERT_TRUE(Reply(Bytes({0x09, 0xAA}), 2));
    // More bytes wait in the driver, not yet read by the port.
    ASSERT_TRUE(device.write(Bytes({0xCC, 0xCC})));
    ASSERT_TRUE(device.waitSlaveInput(Limit));

    link->ClearMScommInput();
    EXPECT_TRUE(link->ReceiveBuffer.isEmpty());

    ASSERT_TRUE(Reply(Bytes({0x02, 0x11}), 2));
    ProcessPendingEvents();
    EXPECT_EQ(link->ReceiveBuffer, Bytes({0x02, 0x11}));
}

TEST_F(ComFormTest, BytesThatArriveWhileClosedAreDroppedAtOpen)
{
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    link->CloseMScomm();
    EXPECT_FALSE(link->IsOpen());
    ASSERT_TRUE(device.write(Bytes({0xEE, 0xEE, 0xEE})));
    ASSERT_TRUE(device.waitSlaveInput(Limit));

    ASSERT_TRUE(link->SetupMScomm(1, 0));
    ASSERT_TRUE(Reply(Bytes({0x02, 0x22}), 2));
    ProcessPendingEvents();
    EXPECT_EQ(link->ReceiveBuffer, Bytes({0x02, 0x22}));
}

TEST_F(ComFormTest, ReopeningBeforeEveryFrameKeepsExchangesApart)
{
    for (int i = 0; i < 20; ++i) {
        link->ClearMScommInput();
        ASSERT_TRUE(link->SetupMScomm(1, 2));
        const QByteArray frame = Bytes({0x03, i, 0x03 + i});
        link->SendMScommString(frame);
        ASSERT_EQ(device.readAtLeast(3, Limit), frame) << "exchange " << i;
        ASSERT_TRUE(Reply(Bytes({0x02, i}), 2));
        ASSERT_EQ(link->ReceiveBuffer, Bytes({0x02, i})) << "exchange " << i;
    }
    EXPECT_EQ(display.out.size(), 20);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ComFormTest, SendingOnAClosedPortDoesNothing)
{
    link->SendMScommString(Bytes({0x01}));
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    link->CloseMScomm();
    link->CloseMScomm(); // closing twice is harmless
    link->SendMScommString(Bytes({0x02}));
    EXPECT_TRUE(device.readAvailable(0).isEmpty());
    EXPECT_TRUE(display.out.isEmpty());
    EXPECT_EQ(link->LastOut(), "");
}

TEST_F(ComFormTest, AFrameTheDriverCannotTakeInTimeIsDroppedUnreported)
{
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    link->WriteTimeout = 0.2; // nobody reads the far end: the driver fills up
    link->SendMScommString(QByteArray(1 << 20, '\x55'));
    EXPECT_TRUE(display.out.isEmpty());
}

TEST_F(ComFormTest, LineSettingsFollowTheSpeedIndex)
{
    ASSERT_TRUE(link->SetupMScomm(1, 1));
    EXPECT_EQ(LineSpeed(device), speed_t(B57600));
    termios t{};
    ::tcgetattr(device.slaveFd(), &t);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CSTOPB);

    ASSERT_TRUE(link->SetupMScomm(1, 3));
    EXPECT_EQ(LineSpeed(device), speed_t(B57600)) << "an unknown index keeps the previous speed";
    ASSERT_TRUE(link->SetupMScomm(1, 255));
    EXPECT_EQ(LineSpeed(device), speed_t(B57600));
    ASSERT_TRUE(link->SetupMScomm(1, 2));
    EXPECT_EQ(LineSpeed(device), speed_t(B115200));
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    EXPECT_EQ(LineSpeed(device), speed_t(B9600));

    ASSERT_TRUE(link->SetupMScommForProduction(1, 1));
    EXPECT_EQ(LineSpeed(device), speed_t(B57600));
    ASSERT_TRUE(link->SetupMScommForProduction(1, 3));
    EXPECT_EQ(LineSpeed(device), speed_t(B9600)) << "the production variant falls back to 9600";
}

TEST_F(ComFormTest, TrafficIsLoggedWithTimeStamps)
{
    link->Log.SetClock([] { return QDateTime(QDate(2007, 4, 3), QTime(9, 5, 7)); });
    link->Log.SetLogging(true);
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    link->SendMScommString(Bytes({0x06, 0x00, 0x00, 0xF7, 0x01, 0xFE}));
    ASSERT_TRUE(Reply(Bytes({0x02, 0x33}), 2));

    const QByteArray log = folder.read("Log.txt");
    EXPECT_TRUE(log.endsWith("\r\n03.04.2007 09.05.07 TX: 06 00 00 F7 01 FE \r\n"
                             "03.04.2007 09.05.07 RX: 02 33 \r\n"))
        << log.constData();
}

TEST_F(ComFormTest, NothingIsLoggedWhileLoggingIsOff)
{
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    link->SendMScommString(Bytes({0x01}));
    ASSERT_TRUE(Reply(Bytes({0x01}), 1));
    EXPECT_FALSE(folder.exists("Log.txt"));
    EXPECT_EQ(display.out, QStringList{"TX: 01 "});
    EXPECT_EQ(display.in, QStringList{"RX: 01 "});
}

TEST_F(ComFormTest, UnwritableLogDoesNotStopSending)
{
    ASSERT_TRUE(QDir(folder.path()).mkdir("Log.txt"));
    link->Log.SetLogging(true);
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    const QByteArray frame = Bytes({0x03, 0x10, 0x13});
    link->SendMScommString(frame);
    EXPECT_EQ(device.readAtLeast(3, Limit), frame);
    EXPECT_EQ(display.out, QStringList{"TX: 03 10 13 "});
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ComFormTest, LastLinesAreKeptWithoutDisplay)
{
    link->SetDisplay(nullptr);
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    link->SendMScommString(Bytes({0x02, 0xAA}));
    link->SendMScommString(Bytes({0x03, 0x00, 0x03}));
    EXPECT_EQ(link->LastOut(), "TX: 03 00 03 ");
    EXPECT_EQ(link->LastOut(), "TX: 03 00 03 ");
    EXPECT_TRUE(display.out.isEmpty());
}

} // namespace
} // namespace vlboot::test
