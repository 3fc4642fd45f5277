// What vlboot-cli says beyond the captions: warnings about runs that succeed
// but leave the unit doubtful (and --strict, which makes them faults),
// precise reasons for failures, and where a stopped run was left.
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

QByteArray image(int firstBlock, bool endRecord = true)
{
    sim::ImageShape shape;
    shape.firstBlock = firstBlock;
    shape.bytesPerBlock = 64;
    QByteArray hex = sim::MakeImage(shape).hex;
    if (!endRecord)
        hex.chop(sim::EndRecord().size());
    return hex;
}

struct RunReport : ::testing::Test {
    vlboot::test::TestFolder folder;

    // Runs `hex` against a simulator started with `simArgs`.
    CliResult run(const QStringList& simArgs, const QByteArray& hex, const QStringList& more = {})
    {
        folder.write("fw.ldr", hex);
        Simulator sim(simArgs);
        EXPECT_TRUE(sim.Started());
        const CliResult r = RunCli(QStringList{"--config-dir", folder.path(), "--port", sim.TerminalPath(), "--quiet",
                                               "--reply-timeout", "0.3"}
                                   + more + QStringList{folder.file("fw.ldr")});
        sim.Stop();
        return r;
    }
};

QJsonObject resultEvent(const CliResult& r)
{
    return QJsonDocument::fromJson(r.outLines().constLast().toUtf8()).object();
}

} // namespace

TEST_F(RunReport, DoubtfulRunsWarnAndStrictMakesThemFaults)
{
    const struct {
        const char* device;
        QStringList faults;
        QByteArray hex;
        const char* warning;
    } cases[] = {
        {"amplifier", {}, sim::EndRecord(), "has no data records"},
        {"amplifier", {}, image(0, false), "never programmed into its flash"},
        {"fixture", {}, image(0, false), "has no end-of-file record"},
        {"amplifier", {}, image(6), "block 6 was programmed without being erased"},
        {"amplifier", {"--fault", "crc-write:1:status"}, image(0), "refused the flash CRC write (status 0x14)"},
        {"amplifier", {"--fault", "boot-exit:1:status=0x21"}, image(0), "boot-mode exit with status 0x21"},
        {"fixture", {"--fault", "write:3:status"}, image(0), "refused the serial-number write (status 0x14)"},
        {"fixture", {}, image(0), "stand-in serial number 65535"},
    };
    for (const auto& c : cases) {
        const CliResult r = run(QStringList{"--device", c.device} + c.faults, c.hex, {"--strict", "--json"});
        const QJsonObject result = resultEvent(r);
        EXPECT_EQ(r.exitCode, 1) << c.warning << r.errText().toStdString();
        EXPECT_TRUE(r.out.contains("\"text\":\"Done with succes\"")) << c.warning; // the captions stay a success
        EXPECT_TRUE(r.errText().contains(QStringLiteral("warning: "))) << c.warning;
        QStringList warnings;
        for (const QJsonValue& w : result["warnings"].toArray())
            warnings << w.toString();
        EXPECT_TRUE(warnings.join('\n').contains(c.warning)) << c.warning << " / " << r.errText().toStdString();
        EXPECT_TRUE(result["why"].toString().startsWith("--strict: ")) << c.warning;
    }
    // Without --strict a warning leaves the run a success.
    const CliResult plain = run({"--device", "amplifier"}, image(6));
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.errText().contains("warning: block 6")) << plain.errText().toStdString();
}

TEST_F(RunReport, FailuresSayWhatCameInsteadOfAReply)
{
    QByteArray broken = image(0);
    broken[broken.indexOf('\n') + 10] ^= 1; // line 2: a digit changed, the checksum no longer fits
    const struct {
        QStringList simArgs;
        int exitCode;
        const char* why;
    } cases[] = {
        {{"--device", "silent"}, 2, "no answer in time to the boot-mode entry; no answer in time to the detection request, so an amplifier was assumed"},
        {{"--device", "amplifier", "--fault", "program:1:status=0x15"}, 1, "refused the program request of flash block 0 with status 0x15"},
        {{"--device", "amplifier", "--fault", "write:1:wrong-length"}, 2, "5 of the 6 bytes its length byte announces came: 06 01 00 00"},
        {{"--device", "amplifier", "--fault", "write:1:stray"}, 2, "its length byte is 0: 00 05 01 00 00"},
        {{"--device", "amplifier", "--fault", "write:1:oversized"}, 2, "bytes came, more than a reply can have"},
        {{"--device", "amplifier", "--fault", "write:1:short"}, 1, "too short: 04 01 00 00"},
        {{"--device", "amplifier", "--fault", "boot-enter:1:status"}, 1, "answered the boot-mode entry with status 0x14"},
    };
    for (const auto& c : cases) {
        const CliResult r = run(c.simArgs, image(0));
        EXPECT_EQ(r.exitCode, c.exitCode) << c.why;
        EXPECT_EQ(r.lastCaption(), c.exitCode == 2 ? "COM timeout" : "Fault");
        EXPECT_TRUE(r.errText().contains("Error!\nFault during upload.\nwhy: ")) << r.errText().toStdString();
        EXPECT_TRUE(r.why().contains(c.why)) << c.why << " / " << r.why().toStdString();
    }
    const CliResult bad = run({"--device", "amplifier"}, broken);
    EXPECT_EQ(bad.lastCaption(), "Fault");
    EXPECT_TRUE(bad.why().contains(folder.file("fw.ldr") + ", line 2: checksum")) << bad.why().toStdString();
    folder.write("fw.ldr", image(0));
    const CliResult missing = RunCli({"--config-dir", folder.path(), "--port", "/dev/vlboot-no-such-tty", "--reply-timeout", "0.2",
                                      folder.file("fw.ldr")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.errText().count("Velm_Bootloader: Comm Port not available!\n"), 1);
    EXPECT_TRUE(missing.why().contains("/dev/vlboot-no-such-tty") && missing.why().contains("vlboot-cli --list-ports"));
}

TEST_F(RunReport, AStoppedRunSaysWhereAndInWhatStateItLeftTheModule)
{
    folder.write("fw.ldr", image(0));
    Simulator sim({"--device", "amplifier", "--baud", "1200"});
    ASSERT_TRUE(sim.Started());
    CliRun run({"--config-dir", folder.path(), "--port", sim.TerminalPath(), "--json", folder.file("fw.ldr")});
    ASSERT_TRUE(run.WaitForOutput("Programming Velmora module"));
    run.Signal(SIGTERM);
    const CliResult r = run.Finish();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 143);
    EXPECT_TRUE(r.errText().contains("stopped by SIGTERM while writing the firmware into the module's memory; the module "
                                     "is left in boot mode with its flash erased: run it again"))
        << r.errText().toStdString();
    const QJsonObject result = resultEvent(r);
    EXPECT_EQ(result["outcome"].toString(), "stopped");
    EXPECT_EQ(result["status"].toInt(), 143);
    EXPECT_FALSE(r.errText().contains("Fault during upload")); // a stop is no failure
    EXPECT_FALSE(folder.exists("setup.ini.lock"));
}
