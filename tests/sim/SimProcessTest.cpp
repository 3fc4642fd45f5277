#include "Frames.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace vlboot::sim::test;
using vlboot::test::TestFolder;

namespace {

const QByteArray DetectFrame = Bytes({0x09, 0x01, 0x00, 0xF8, 0x04, 0x23, 0x10, 0x37, 0x70});

TEST(SimProcess, ServesDetectionOnThePrintedTerminal)
{
    SimProcess sim({});
    ASSERT_TRUE(sim.Started());
    EXPECT_TRUE(sim.TerminalPath().startsWith(QStringLiteral("/dev/pts/"))) << sim.TerminalPath().toStdString();
    const QByteArray reply = sim.Exchange(DetectFrame, 8);
    ASSERT_EQ(reply.size(), 8);
    EXPECT_EQ(reply.left(4), Bytes({0x08, 0x01, 0x00, 0x00}));
    EXPECT_EQ(reply.at(7), Sum(reply.left(7)));
}

TEST(SimProcess, SurvivesTheTerminalBeingClosedAndReopened)
{
    SimProcess sim({QStringLiteral("--device"), QStringLiteral("fixture")});
    ASSERT_TRUE(sim.Started());
    // Every exchange opens and closes the terminal, as the tool does per frame.
    EXPECT_EQ(sim.Exchange(DetectFrame, 8), Bytes({0x08, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x06}));
    EXPECT_EQ(sim.Exchange(BootEnter(), 5), Bytes({0x05, 0x01, 0x00, 0x00, 0x06}));
    EXPECT_EQ(sim.Exchange(DetectFrame, 8).size(), 8);
    const QString summary = sim.Terminate();
    EXPECT_TRUE(summary.contains(QStringLiteral("requests 3, bytes in 24, bytes out 21, unpaced")))
        << summary.toStdString();
    EXPECT_TRUE(sim.ExitedNormally());
    EXPECT_EQ(sim.ExitCode(), 0);
}

TEST(SimProcess, BootFrameFollowsTheReply)
{
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("detect:1:chunked=3")});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Exchange(BootEnter(), 10),
              Bytes({0x05, 0x01, 0x00, 0x00, 0x06, 0x05, 0x01, 0x40, 0x00, 0x46}));
    const QByteArray chunked = sim.Exchange(DetectFrame, 8);
    EXPECT_EQ(chunked, Bytes({0x08, 0x01, 0x00, 0x00, 0x02, 0x05, 0x01, 0x11}));
}

TEST(SimProcess, DumpsProgrammedBlocksAtTheEnd)
{
    TestFolder folder;
    const QString dir = folder.file(QStringLiteral("dump"));
    SimProcess sim({QStringLiteral("--dump"), dir});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Exchange(Write(0x0010, Bytes({0xDE, 0xAD})), 5).at(3), char(0x00));
    EXPECT_EQ(sim.Exchange(Program(3), 5).at(3), char(0x00));
    EXPECT_EQ(sim.Exchange(CrcWrite(), 5).at(3), char(0x00));
    sim.Terminate();
    EXPECT_EQ(sim.ExitCode(), 0);

    const QByteArray block = folder.read(QStringLiteral("dump/block-003.bin"));
    ASSERT_EQ(block.size(), 0x10000);
    EXPECT_EQ(block.mid(0x000F, 4), Bytes({0xFF, 0xDE, 0xAD, 0xFF}));
    EXPECT_EQ(folder.read(QStringLiteral("dump/block-042.bin")).size(), 0x10000);
    EXPECT_FALSE(folder.exists(QStringLiteral("dump/block-000.bin")));

    // A dump folder that cannot be written is refused at the start.
    folder.write(QStringLiteral("plain"), "a file");
    QByteArray err;
    EXPECT_EQ(RunSim({QStringLiteral("--dump"), folder.file(QStringLiteral("plain/dump"))}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains("cannot create the dump folder")) << err.toStdString();
}

TEST(SimProcess, FixtureDumpHoldsTheSerialNumberAndStopsAtEndOfInput)
{
    TestFolder folder;
    SimProcess sim({QStringLiteral("--device"), QStringLiteral("fixture"), QStringLiteral("--dump"), folder.path()});
    ASSERT_TRUE(sim.Started());
    sim.Exchange(Write(0x7FFB, Bytes({0x0B, 0x00, 0x00, 0x03, 0xE8})), 5);
    sim.CloseInput();
    EXPECT_EQ(sim.ExitCode(), 0);
    const QByteArray memory = folder.read(QStringLiteral("memory.bin"));
    ASSERT_EQ(memory.size(), 0x10000);
    EXPECT_EQ(memory.mid(0x7FFB, 5), Bytes({0x0B, 0x00, 0x00, 0x03, 0xE8}));
}

TEST(SimProcess, PacedRunSumsTheWireTime)
{
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("9600")});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Exchange(DetectFrame, 8).size(), 8);
    const QString summary = sim.Terminate();
    // (9 + 8) bytes x 10 bits at 9600 baud, no work time for a detection.
    EXPECT_TRUE(summary.contains(QStringLiteral("requests 1, bytes in 9, bytes out 8, wire time 0.018 s at 9600 baud")))
        << summary.toStdString();
}

TEST(SimProcess, FaultOptionReachesTheDevice)
{
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("write:2:status=0x15")});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Exchange(Write(0, Bytes({1})), 5).at(3), char(0x00));
    EXPECT_EQ(sim.Exchange(Write(0, Bytes({1})), 5), Bytes({0x05, 0x01, 0x00, 0x15, 0x1B}));
}

TEST(SimProcess, CommandLine)
{
    QByteArray out;
    QByteArray err;
    EXPECT_EQ(RunSim({QStringLiteral("--baud")}, &out, &err), 64);
    EXPECT_TRUE(err.contains("--baud"));
    EXPECT_EQ(RunSim({QStringLiteral("--fault"), QStringLiteral("write:1:boom")}, &out, &err), 64);
    EXPECT_EQ(RunSim({QStringLiteral("--help")}, &out, &err), 0);
    EXPECT_TRUE(out.contains("--fault REQUEST:N:KIND"));
    EXPECT_EQ(RunSim({QStringLiteral("--version")}, &out, &err), 0);
    EXPECT_TRUE(QString::fromLatin1(out).contains(QRegularExpression(QStringLiteral("^vlboot-sim \\d+\\.\\d+"))));
}

} // namespace
