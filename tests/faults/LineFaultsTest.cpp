// The line breaking during a run: the simulator killed, the device path
// taken away, a device that answers with noise. Each run must end by itself
// with the right caption and exit status, and sleep rather than spin while
// it waits.
#include "CliFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

using namespace vlboot::cli::test;

namespace {

constexpr qint64 ReplyTimeoutMs = 2000;
constexpr qint64 MarginMs = 6000; // a run that stops is over well within this much more
const QStringList Quiet{"--reply-timeout", "2", "--quiet"};

struct LineFaults : CliFixture {
    LineFaults() { useImage({.blockCount = 2, .bytesPerBlock = 1024}); } // 64 memory writes: over 3 s at 9600 baud
};

} // namespace

TEST_F(LineFaults, ASimulatorKilledMidRunEndsWithComTimeoutWithoutSpinning)
{
    Simulator sim({"--device", "amplifier", "--baud", "9600"});
    CliRun run(args(sim.TerminalPath(), Quiet));
    ASSERT_TRUE(run.WaitForOutput("Programming Velmora module\n"));
    QThread::msleep(500);
    sim.Kill();
    QElapsedTimer sinceKill;
    sinceKill.start();
    const double cpuBefore = ChildrenCpuSeconds();
    const CliResult r = run.Finish();
    const qint64 afterKillMs = sinceKill.elapsed();
    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 2) << r.errText().toStdString();
    EXPECT_EQ(r.lastCaption(), "COM timeout");
    EXPECT_LT(afterKillMs, ReplyTimeoutMs + MarginMs);
    // A vanished device stays readable with nothing to read: no busy wait on it.
    EXPECT_LT(ChildrenCpuSeconds() - cpuBefore, 0.5 * double(afterKillMs) / 1000.0);
}

TEST_F(LineFaults, ADevicePathThatGoesAwayEndsTheRunNamingThePort)
{
    Simulator sim({"--device", "amplifier", "--baud", "9600"});
    const QString link = folder.file("ttyVelmora"); // as a [Ports] entry names a device
    ASSERT_TRUE(QFile::link(sim.TerminalPath(), link));
    CliRun run(args(link, Quiet));
    ASSERT_TRUE(run.WaitForOutput("Programming Velmora module\n"));
    QThread::msleep(300);
    ASSERT_TRUE(QFile::remove(link)); // the next open before a frame fails...
    folder.write("ttyVelmora", "not a serial device"); // ...and what took its name is left alone
    const CliResult r = run.Finish();
    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 2) << r.errText().toStdString();
    EXPECT_TRUE(r.why().contains("could not be opened") && r.why().contains(link)) << r.why().toStdString();
    EXPECT_EQ(folder.read("ttyVelmora"), "not a serial device");
}

TEST_F(LineFaults, NoiseInsteadOfRepliesEndsTheRunCleanly)
{
    // Noise in answer to detection is an unusable answer, which counts as the
    // amplifier: an amplifier is then programmed as usual, a fixture (taken
    // for an amplifier) never sends the boot-mode frame.
    const struct {
        const char* device;
        const char* fault;
        int exitCode;
    } cases[] = {{"amplifier", "write:0:garbage", 2}, {"amplifier", "crc-read:0:garbage", 2}, {"amplifier", "detect:1:garbage", 0},
                 {"fixture", "detect:1:garbage", 1}};
    for (const auto& c : cases) {
        const CliResult r = runAgainst({"--device", c.device, "--fault", c.fault}, {"--reply-timeout", "1", "--quiet"});
        ASSERT_TRUE(r.finished) << c.fault;
        EXPECT_EQ(r.exitCode, c.exitCode) << c.device << " " << c.fault << r.errText().toStdString();
        if (c.exitCode == 0)
            EXPECT_EQ(DumpedBlock(dump(), 1), image.blocks.at(1));
        else
            EXPECT_FALSE(r.why().isEmpty());
    }
}
