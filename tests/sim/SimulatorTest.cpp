// vlboot-sim as a program: its command line, and the device it serves on
// its pseudo-terminal (opened and closed for every exchange, the way the
// programming tool opens its port), its pacing and its dumps.
#include "CliProcesses.h"
#include "Frames.h"
#include "SimOptions.h"
#include "TestFiles.h"

#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;
using vlboot::cli::test::BinaryPath;
using vlboot::cli::test::Simulator;
using vlboot::test::TestFolder;

namespace {

// Opens the terminal raw, writes `frame`, reads until `replyBytes` came or
// nothing more comes within `waitMs`, closes the terminal.
QByteArray exchange(const QString& path, const QByteArray& frame, int replyBytes, int waitMs = 5000)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return {};
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    QByteArray reply;
    if (::write(fd, frame.constData(), static_cast<size_t>(frame.size())) == frame.size()) {
        char buffer[256];
        pollfd p{fd, POLLIN, 0};
        while (reply.size() < replyBytes && ::poll(&p, 1, waitMs) > 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            reply.append(buffer, n);
        }
    }
    ::close(fd);
    return reply;
}

// Runs vlboot-sim to its end: exit code and standard error.
std::pair<int, QString> runSim(const QStringList& args)
{
    QProcess p;
    p.start(BinaryPath("vlboot-sim"), args);
    p.waitForFinished(10000);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

TEST(Simulator, CommandLine)
{
    std::string error;
    const auto full = ParseSimOptions({"--device", "fixture", "--baud", "115200", "--dump", "/tmp/x", "--fault",
                                       "write:3:status=0x15", "--fault", "crc-read:0:chunked=3", "--ignore-stdin"},
                                      error);
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->device, DeviceKind::Fixture);
    EXPECT_EQ(full->baud, 115200);
    ASSERT_EQ(full->faults.size(), 2u);
    EXPECT_EQ(full->faults[0].occurrence, 3);
    EXPECT_EQ(full->faults[0].fault.status, 0x15);
    EXPECT_EQ(full->faults[1].fault.chunkSize, 3);
    EXPECT_EQ(ParseFaultOption("erase:1:status", error)->fault.status, 0x14); // the default status
    for (const char* text : {"write:1", "reboot:1:silence", "write:x:silence", "write:-1:silence", "write:1:explode",
                             "write:1:status=256", "write:1:status=0x", "write:1:chunked=0", "write:1:silence=2"})
        EXPECT_FALSE(ParseFaultOption(text, error)) << text;
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--device", "toaster"}, {"--baud", "0"}, {"--baud", "-9600"}, {"--dump", ""}, {"--frobnicate"}}) {
        EXPECT_FALSE(ParseSimOptions(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(runSim({"--baud", "fast"}).first, 64);
    TestFolder folder;
    folder.write("plain", "a file");
    const auto [status, err] = runSim({"--dump", folder.file("plain/dump")}); // refused at the start
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(err.contains("cannot create the dump folder")) << err.toStdString();
}

TEST(Simulator, ServesItsTerminalAcrossReopensAndDumpsAtTheEnd)
{
    TestFolder folder;
    Simulator sim({"--device", "amplifier", "--baud", "9600", "--dump", folder.file("dump")});
    ASSERT_TRUE(sim.Started());
    for (int i = 0; i < 2; ++i) // a closed and reopened terminal serves on
        EXPECT_EQ(exchange(sim.TerminalPath(), Detect(), 8), Bytes({0x08, 0x01, 0x00, 0x00, 0x02, 0x05, 0x01, 0x11}));
    EXPECT_EQ(exchange(sim.TerminalPath(), BootEnter(), 10), Bytes({0x05, 0x01, 0x00, 0x00, 0x06, 0x05, 0x01, 0x40, 0x00, 0x46}));
    EXPECT_EQ(exchange(sim.TerminalPath(), Write(0x0010, Bytes({0xDE, 0xAD})), 5).at(3), char(0x00));
    EXPECT_EQ(exchange(sim.TerminalPath(), Program(3), 5).at(3), char(0x00));
    const QString summary = sim.Stop();
    EXPECT_TRUE(summary.contains("requests 5")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("at 9600 baud")) << summary.toStdString();
    EXPECT_EQ(folder.read("dump/block-003.bin").mid(0x000F, 4), Bytes({0xFF, 0xDE, 0xAD, 0xFF}));
    EXPECT_FALSE(folder.exists("dump/block-000.bin"));

    // The end of standard input (a pipe) stops it too; a fixture dumps its memory.
    QProcess fixture;
    fixture.start(BinaryPath("vlboot-sim"), {"--device", "fixture", "--fault", "write:1:silence", "--dump", folder.path()});
    ASSERT_TRUE(fixture.waitForReadyRead(10000));
    const QString path = QString::fromLocal8Bit(fixture.readLine()).trimmed();
    EXPECT_TRUE(exchange(path, Write(0x7FFB, Bytes({0x0B, 0, 0, 3, 0xE8})), 5, 300).isEmpty()); // the fault reaches the device
    exchange(path, Write(0x7FFB, Bytes({0x0B, 0, 0, 3, 0xE8})), 5);
    fixture.closeWriteChannel();
    ASSERT_TRUE(fixture.waitForFinished(10000));
    EXPECT_EQ(fixture.exitCode(), 0);
    EXPECT_EQ(folder.read("memory.bin").mid(0x7FFB, 5), Bytes({0x0B, 0, 0, 3, 0xE8}));
}
