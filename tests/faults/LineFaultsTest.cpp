// The line breaking during a run: the simulator killed, the device path
// taken away, a device that answers with noise. Each run must end by itself
// with the right caption and exit status, never by a signal, and sleep
// rather than spin while it waits.
#include "FaultRuns.h"
#include "FirmwareImage.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace vlboot;
using namespace vlboot::cli::test;
using namespace vlboot::faults;
using namespace std::chrono_literals;

namespace {

// A reply wait of 2 s; a run that stops must be over well within this much
// more (process start-up and the exchanges already under way included).
constexpr int ReplyTimeoutMs = 2000;
constexpr qint64 MarginMs = 6000;

struct LineFaults : ::testing::Test {
    vlboot::test::TestFolder folder;

    // 64 memory writes in two blocks: over three seconds at 9600 baud, so a
    // fault half a second into programming cuts the run in the middle.
    QString pacedImage()
    {
        sim::ImageShape shape;
        shape.blockCount = 2;
        shape.bytesPerBlock = 1024;
        folder.write("module.ldr", sim::MakeImage(shape).hex);
        return folder.file("module.ldr");
    }

    QStringList cliArgs(const QString& port, const QString& replyTimeout, const QString& image) const
    {
        return {"--config-dir", folder.path(), "--port", port, "--reply-timeout", replyTimeout, "--quiet", image};
    }
};

} // namespace

TEST_F(LineFaults, SimulatorKilledMidRunEndsWithComTimeoutWithinTheReplyWait)
{
    const QString image = pacedImage();
    Simulator sim({"--device", "amplifier", "--baud", "9600"});
    ASSERT_TRUE(sim.Started());
    CliRun run(cliArgs(sim.TerminalPath(), QString::number(ReplyTimeoutMs / 1000), image));
    ASSERT_TRUE(run.WaitForOutput("Programming Velmora module\n"));
    std::this_thread::sleep_for(500ms);

    sim.Kill();
    QElapsedTimer sinceKill;
    sinceKill.start();
    const double cpuBefore = ChildrenCpuSeconds();
    const CliResult r = run.Finish();
    const double cliCpu = ChildrenCpuSeconds() - cpuBefore;
    const qint64 afterKillMs = sinceKill.elapsed();

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 2) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "COM timeout");
    EXPECT_TRUE(WhyLine(r).startsWith("no answer in time to the memory write")) << WhyLine(r).toStdString();
    EXPECT_LT(afterKillMs, ReplyTimeoutMs + MarginMs);
    // A port whose device has vanished stays readable with nothing to read;
    // the wait must not poll it round and round for the rest of its time.
    EXPECT_LT(cliCpu, 0.5 * double(afterKillMs) / 1000.0) << "busy wait after the device went away";
}

namespace {

enum class PathFault { Removed, ReplacedByPlainFile };

struct DevicePathFaults : LineFaults, ::testing::WithParamInterface<PathFault> {};

} // namespace

// The port is given as a link to the simulator's terminal (as a [Ports]
// entry names a device); the link goes away while the run is under way, so
// the next open before a frame fails.
TEST_P(DevicePathFaults, RunEndsWithATimeoutAndNamesThePort)
{
    const QString image = pacedImage();
    Simulator sim({"--device", "amplifier", "--baud", "9600"});
    ASSERT_TRUE(sim.Started());
    const QString link = folder.file("ttyVelmora");
    ASSERT_TRUE(QFile::link(sim.TerminalPath(), link));
    CliRun run(cliArgs(link, QString::number(ReplyTimeoutMs / 1000), image));
    ASSERT_TRUE(run.WaitForOutput("Programming Velmora module\n"));
    std::this_thread::sleep_for(300ms);

    ASSERT_TRUE(QFile::remove(link));
    if (GetParam() == PathFault::ReplacedByPlainFile)
        folder.write("ttyVelmora", "not a serial device");
    QElapsedTimer sinceFault;
    sinceFault.start();
    const CliResult r = run.Finish();

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 2) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "COM timeout");
    EXPECT_TRUE(WhyLine(r).contains("could not be opened")) << WhyLine(r).toStdString();
    EXPECT_TRUE(WhyLine(r).contains(link)) << WhyLine(r).toStdString();
    EXPECT_LT(sinceFault.elapsed(), ReplyTimeoutMs + MarginMs);
    if (GetParam() == PathFault::ReplacedByPlainFile) {
        EXPECT_EQ(folder.read("ttyVelmora"), "not a serial device");
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DevicePathFaults, ::testing::Values(PathFault::Removed, PathFault::ReplacedByPlainFile));

namespace {

struct GarbageCase {
    const char* device;
    const char* fault;
    int exitCode;
    const char* caption;
};

void PrintTo(const GarbageCase& c, std::ostream* os)
{
    *os << c.device << " " << c.fault;
}

struct GarbageReplies : LineFaults, ::testing::WithParamInterface<GarbageCase> {};

} // namespace

// Random bytes that never add up to a reply: the request times out. Noise
// in answer to detection is an unusable answer, which counts as the
// amplifier: an amplifier is then programmed as usual, a fixture (taken for
// an amplifier) never sends the boot-mode frame.
TEST_P(GarbageReplies, EndTheRunCleanlyWithItsExitStatus)
{
    const GarbageCase& c = GetParam();
    sim::ImageShape shape;
    shape.blockCount = 2;
    shape.bytesPerBlock = 256;
    const sim::Image image = sim::MakeImage(shape);
    folder.write("module.ldr", image.hex);
    const QString dump = folder.file("dump");
    Simulator sim({"--device", c.device, "--fault", c.fault, "--dump", dump});
    ASSERT_TRUE(sim.Started());

    const CliResult r = RunCli(cliArgs(sim.TerminalPath(), "1", folder.file("module.ldr")));
    sim.Stop();

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, c.exitCode) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), c.caption);
    if (c.exitCode == 0) {
        for (const auto& [block, content] : image.blocks)
            EXPECT_EQ(ReadFileBytes(QDir(dump).filePath(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0')))),
                      content)
                << "block " << block;
    } else {
        EXPECT_FALSE(WhyLine(r).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, GarbageReplies,
                         ::testing::Values(GarbageCase{"amplifier", "write:0:garbage", 2, "COM timeout"},
                                           GarbageCase{"fixture", "write:0:garbage", 2, "COM timeout"},
                                           GarbageCase{"amplifier", "crc-read:0:garbage", 2, "COM timeout"},
                                           GarbageCase{"amplifier", "detect:1:garbage", 0, "Done with succes"},
                                           GarbageCase{"fixture", "detect:1:garbage", 1, "Fault"}));
