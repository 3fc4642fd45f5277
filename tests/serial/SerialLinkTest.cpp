// ComForm on pseudo-terminals: bytes both ways, the receive event and its
// guard, the port reset, the line settings, every open failure, the run's
// lock file, and the port names.
#include "ComForm.h"
#include "PlatformSerial.h"
#include "Pty.h"
#include "SerialPort.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

constexpr int Limit = 5000; // guards against a hang only

// Lets the event loop run (blocking while nothing happens) until `done`
// holds or `limitMs` passed; true when `done` held.
bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs)
{
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(limitMs);
    while (!done() && limit.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

struct RecordingDisplay : TrafficDisplay {
    QStringList out, in;
    void ShowOut(const QString& line) override { out << line; }
    void ShowIn(const QString& line) override { in << line; }
};

// COM1 is a pseudo-terminal whose master plays the device, COM3 does not
// exist, COM4 is an ordinary file and COM5 /dev/null, all through the
// [Ports] map of setup.ini.
struct SerialLink : ::testing::Test {
    TestFolder folder;
    PtyPair device;
    std::unique_ptr<ComForm> link;
    RecordingDisplay display;
    QStringList boxes;

    void SetUp() override
    {
        ASSERT_TRUE(device.isValid());
        folder.write("setup.ini", "[Ports]\r\nCOM1=" + device.slavePath().toLocal8Bit() + "\r\nCOM3="
                                      + folder.file("no-such-tty").toLocal8Bit() + "\r\nCOM4="
                                      + folder.file("setup.ini").toLocal8Bit() + "\r\nCOM5=/dev/null\r\n");
        link = std::make_unique<ComForm>(folder.path());
        link->ShowMessage = [this](const QString& title, const QString& text) { boxes << title + "|" + text; };
        link->SetDisplay(&display);
    }
    // The device answers; the event loop runs until `total` bytes were collected.
    bool reply(const QByteArray& bytes, int total)
    {
        return device.write(bytes) && ProcessEventsUntil([&] { return link->ReceiveBuffer().size() >= total; }, Limit);
    }
};

} // namespace

TEST_F(SerialLink, BytesPassUnchangedAndEveryReplyIsReportedOnceComplete)
{
    for (int i = 0; i < 3; ++i) { // closed and opened again before every frame
        link->ClearMScommInput();
        ASSERT_TRUE(link->SetupMScomm(1, 2));
        const QByteArray frame = QByteArray::fromHex("0700FF00807F") + char(i);
        link->SendMScommString(frame);
        EXPECT_EQ(device.readAvailable(Limit), frame);
        ASSERT_TRUE(reply(QByteArray::fromHex("0500"), 2));
        EXPECT_EQ(display.in.size(), i) << "two of five bytes are no reply yet";
        ASSERT_TRUE(reply(QByteArray::fromHex("00FF1A"), 5));
        QCoreApplication::processEvents();
        EXPECT_EQ(link->ReceiveBuffer(), QByteArray::fromHex("0500 00FF1A"));
    }
    EXPECT_EQ(display.out.last(), "TX: 07 00 FF 00 80 7F 02 ");
    EXPECT_EQ(display.in, QStringList(3, "RX: 05 00 00 FF 1A "));
}

TEST_F(SerialLink, ClearingAndReopeningDropWhatCameBefore)
{
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    ASSERT_TRUE(reply(QByteArray::fromHex("09AA"), 2));
    ASSERT_TRUE(device.write(QByteArray::fromHex("CCCC")));
    ASSERT_TRUE(device.waitSlaveInput(Limit)); // waiting in the driver, not yet read
    link->ClearMScommInput();
    EXPECT_TRUE(link->ReceiveBuffer().isEmpty());
    link->CloseMScomm();
    ASSERT_TRUE(device.write(QByteArray::fromHex("EEEE")));
    ASSERT_TRUE(device.waitSlaveInput(Limit)); // arrived while closed
    link->SendMScommString(QByteArray::fromHex("01")); // nothing goes out while closed
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    ASSERT_TRUE(reply(QByteArray::fromHex("0211"), 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(link->ReceiveBuffer(), QByteArray::fromHex("0211"));
    EXPECT_TRUE(device.readAvailable(0).isEmpty());
    EXPECT_TRUE(display.out.isEmpty());

    link->SetWriteTimeout(0.2); // nobody reads the far end: the driver fills up
    link->SendMScommString(QByteArray(1 << 20, '\x55'));
    EXPECT_TRUE(display.out.isEmpty()); // a frame that did not go is not reported
}

TEST_F(SerialLink, LineSettingsFollowTheSpeedIndex)
{
    const struct {
        bool production;
        std::uint8_t index;
        speed_t speed;
    } steps[] = {{false, 1, B57600}, {false, 3, B57600}, {false, 255, B57600}, // an unknown index keeps the speed
                 {false, 2, B115200}, {false, 0, B9600},  {true, 1, B57600},   {true, 3, B9600}}; // ...but not for the scan
    termios t{};
    for (const auto& s : steps) {
        ASSERT_TRUE(s.production ? link->SetupMScommForProduction(1, s.index) : link->SetupMScomm(1, s.index));
        ::tcgetattr(device.slaveFd(), &t);
        EXPECT_EQ(::cfgetospeed(&t), s.speed) << int(s.index);
    }
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8)); // 8N1
}

TEST_F(SerialLink, OpenFailuresShowTheirMessageOncePerAttempt)
{
    const struct {
        int port;
        int number;
        const char* message;
    } cases[] = {{3, 8002, "Comm Port not available!"},
                 {4, 8107, "Unknown Comm port problem - Error 8107"}, // a plain file
                 {5, 8107, "Unknown Comm port problem - Error 8107"}}; // /dev/null
    for (const auto& c : cases) {
        EXPECT_FALSE(link->SetupMScomm(c.port, 0));
        EXPECT_EQ(link->LastOpenFailure().number, c.number) << c.port;
        EXPECT_EQ(boxes.takeLast(), QStringLiteral("Velm_Bootloader|") + c.message);
    }
    ASSERT_TRUE(link->SetupMScomm(1, 0));
    EXPECT_FALSE(link->SetupMScomm(17, 0)); // outside 1..16: no message, the port closed first
    EXPECT_FALSE(link->SetupMScommForProduction(3, 0)); // the scan is silent
    EXPECT_TRUE(link->CanOpen(1, 0));
    for (const int port : {3, 0, 257, -1}) // 257 must not wrap around to COM1
        EXPECT_FALSE(link->CanOpen(port, 0)) << port;
    EXPECT_TRUE(boxes.isEmpty());

    // A port held by another link is busy, until that link ends.
    auto other = std::make_unique<ComForm>(folder.path());
    ASSERT_TRUE(other->SetupMScomm(1, 0));
    EXPECT_FALSE(link->SetupMScomm(1, 0));
    EXPECT_EQ(boxes.takeLast(), "Velm_Bootloader|Comm Port already open");
    EXPECT_TRUE(link->LastOpenFailure().ToString().startsWith("Error 8005 on " + device.slavePath() + ": "));
    int exclusive = 0; // (root is never refused: the exclusive mode itself is checked)
    EXPECT_TRUE(::ioctl(device.slaveFd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 1);
    other.reset(); // without a CloseMScomm
    EXPECT_TRUE(::ioctl(device.slaveFd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
    EXPECT_TRUE(link->SetupMScomm(1, 0));
}

TEST(DeviceLockFile, IsTakenOverOnlyFromAProcessThatIsGone)
{
    const auto lockText = [](qint64 pid) { return QByteArray::number(pid).rightJustified(10, ' ') + '\n'; };
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const struct {
        QByteArray existing; // "" no lock file
        int ageSeconds;
        DeviceLock::Outcome outcome;
    } cases[] = {{"", 0, DeviceLock::Taken},          {lockText(dead), 0, DeviceLock::Taken},
                 {lockText(::getpid()), 0, DeviceLock::Taken}, {lockText(1), 0, DeviceLock::Busy}, // init lives
                 {"garbage", 0, DeviceLock::Busy},    {"garbage", 10, DeviceLock::Taken}};     // being written, or left
    for (const auto& c : cases) {
        TestFolder folder;
        const QString path = folder.file("LCK..ttyUSB7");
        if (!c.existing.isEmpty()) {
            folder.write("LCK..ttyUSB7", c.existing);
            std::filesystem::last_write_time(path.toStdString(), std::filesystem::file_time_type::clock::now()
                                                                     - std::chrono::seconds(c.ageSeconds));
        }
        EXPECT_EQ(TakeDeviceLock(folder.path(), "/dev/ttyUSB7").outcome, c.outcome) << c.existing.constData();
        EXPECT_EQ(folder.read("LCK..ttyUSB7"), c.outcome == DeviceLock::Taken ? lockText(::getpid()) : c.existing);
        ReleaseDeviceLock(path);
        EXPECT_EQ(folder.exists("LCK..ttyUSB7"), c.outcome != DeviceLock::Taken);
    }
    TestFolder folder;
    EXPECT_EQ(TakeDeviceLock(folder.file("no-such-folder"), "/dev/ttyUSB7").outcome, DeviceLock::Skipped);
    PtyPair pty;
    ASSERT_TRUE(QFile::link(pty.slavePath(), folder.file("ttyVelmora")));
    EXPECT_EQ(DeviceLockName(folder.file("ttyVelmora")), "LCK.." + pty.slavePath().mid(5).replace('/', '_'));
}
