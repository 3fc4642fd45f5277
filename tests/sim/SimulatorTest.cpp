// vlboot-sim as a program: its command line, its pacing and summary, the
// end of standard input, and its dump folder. (Its device on the
// pseudo-terminal serves every end-to-end test.)
#include "CliProcesses.h"
#include "Frames.h"
#include "SimOptions.h"
#include "TestFiles.h"

#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace vlboot::sim;
using namespace vlboot::sim::test;
using vlboot::cli::test::BinaryPath;
using vlboot::test::TestFolder;

TEST(Simulator, CommandLine)
{
    std::string error;
    const auto options = ParseSimOptions({"--device", "fixture", "--baud", "115200", "--fault", "write:3:status=0x15", "--fault",
                                          "crc-read:0:chunked=3"},
                                         error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->faults[0].fault.status, 0x15);
    EXPECT_EQ(options->faults[1].fault.chunkSize, 3);
    EXPECT_EQ(ParseFaultOption("erase:1:status", error)->fault.status, 0x14); // the default status
    for (const char* text : {"write:1", "reboot:1:silence", "write:-1:silence", "write:1:status=256", "write:1:chunked=0"})
        EXPECT_FALSE(ParseFaultOption(text, error)) << text;
    for (const char* baud : {"0", "-9600", "fast"})
        EXPECT_FALSE(ParseSimOptions({"--baud", baud}, error)) << baud;
}

TEST(Simulator, PacesItsRepliesStopsAtTheEndOfInputAndChecksItsDumpFolder)
{
    TestFolder folder;
    QProcess sim;
    sim.start(BinaryPath("vlboot-sim"), {"--device", "fixture", "--baud", "9600", "--dump", folder.path()});
    ASSERT_TRUE(sim.waitForReadyRead(10000));
    const int fd = ::open(sim.readLine().trimmed().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    const QByteArray record = Write(0x7FFB, Bytes({0x0B, 0, 0, 3, 0xE8}));
    ASSERT_EQ(::write(fd, record.constData(), record.size()), record.size());
    char reply[5];
    qsizetype got = 0;
    while (got < 5) {
        const ssize_t n = ::read(fd, reply + got, sizeof reply - got);
        ASSERT_GT(n, 0);
        got += n;
    }
    ::close(fd);
    sim.closeWriteChannel(); // the program that started it went away
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    const QByteArray summary = sim.readAllStandardError();
    EXPECT_TRUE(summary.contains("requests 1, bytes in 16, bytes out 5, wire time 0.0") && summary.contains("at 9600 baud"))
        << summary.toStdString();
    EXPECT_EQ(folder.read("memory.bin").mid(0x7FFB, 5), Bytes({0x0B, 0, 0, 3, 0xE8}));

    folder.write("plain", "a file");
    QProcess refused; // a dump folder that cannot be written is refused at the start
    refused.start(BinaryPath("vlboot-sim"), {"--dump", folder.file("plain/dump")});
    ASSERT_TRUE(refused.waitForFinished(10000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardError().contains("cannot create the dump folder"));
}
