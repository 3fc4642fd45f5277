// Firmware files that are not what a run can read twice, or not the same
// twice: each must end "Fault" before the module is touched or before the
// next block is programmed, never "Done with succes".
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "TestFiles.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

struct FirmwareInputs : ::testing::Test {
    vlboot::test::TestFolder folder;
    sim::Image image = [] {
        sim::ImageShape shape;
        shape.blockCount = 2;
        shape.bytesPerBlock = 320;
        return sim::MakeImage(shape);
    }();

    QStringList args(const Simulator& sim, const QString& file) const
    {
        return {"--config-dir", folder.path(), "--port", sim.TerminalPath(), "--quiet", "--reply-timeout", "2", file};
    }
    QByteArray dumped(int block) const { return DumpedBlock(folder.file("dump"), block); }
};

} // namespace

TEST_F(FirmwareInputs, AnythingButARegularFileIsRefusedBeforeBootMode)
{
    ASSERT_EQ(::mkfifo(folder.file("fifo").toLocal8Bit().constData(), 0600), 0); // no writer ever comes
    const struct {
        QString file;
        QByteArray stdinContent; // for /dev/stdin: a pipe carrying the image
        const char* kind;
    } cases[] = {{"/dev/stdin", image.hex, "pipe or FIFO"}, {folder.file("fifo"), {}, "pipe or FIFO"}, {"/dev/zero", {}, "a device"}};
    for (const auto& c : cases) {
        Simulator sim({"--device", "amplifier", "--dump", folder.file("dump")});
        ASSERT_TRUE(sim.Started());
        CliRun run(args(sim, c.file), {}, c.stdinContent);
        const CliResult r = run.Finish();
        sim.Stop();
        ASSERT_TRUE(r.finished) << c.kind;
        EXPECT_EQ(r.exitCode, 1) << c.file.toStdString();
        EXPECT_EQ(r.outLines().mid(2), (QStringList{"Checking file...", "File found", "Fault"}));
        EXPECT_TRUE(r.why().contains(c.kind)) << r.why().toStdString();
        EXPECT_TRUE(dumped(0).isEmpty());
    }
}

TEST_F(FirmwareInputs, LoneCrLfAndCrLfAllEndALineEvenMixed)
{
    const QList<QByteArray> lines = image.hex.split('\n');
    const QByteArray ends[] = {"\r", "\n", "\r\n"};
    for (int mix = 0; mix < 4; ++mix) {
        QByteArray text;
        for (int i = 0; i < lines.size(); ++i)
            text += lines[i].trimmed() + ends[mix < 3 ? mix : i % 3];
        folder.write("fw.ldr", text);
        Simulator sim({"--device", "amplifier", "--dump", folder.file("dump")});
        ASSERT_TRUE(sim.Started());
        const CliResult r = RunCli(args(sim, folder.file("fw.ldr")));
        sim.Stop();
        EXPECT_EQ(r.exitCode, 0) << mix << r.errText().toStdString();
        EXPECT_EQ(dumped(0), image.blocks.at(0)) << mix;
        EXPECT_EQ(dumped(1), image.blocks.at(1)) << mix;
    }
}

TEST_F(FirmwareInputs, AFileChangedBetweenThePassesEndsBeforeTheNextBlockIsProgrammed)
{
    folder.write("fw.ldr", image.hex);
    // Paced, so that the file is changed long before the first block ends.
    Simulator sim({"--device", "amplifier", "--baud", "9600", "--dump", folder.file("dump")});
    ASSERT_TRUE(sim.Started());
    CliRun run(args(sim, folder.file("fw.ldr")) << "--json");
    ASSERT_TRUE(run.WaitForOutput("\"event\":\"progress\""));
    QByteArray other = image.hex;
    other.replace(":20", ":20"); // same records, rewritten in place: only the file's times change
    folder.write("fw.ldr", other);
    const CliResult r = run.Finish();
    sim.Stop();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.why().contains("changed since it was checked")) << r.errText().toStdString();
    EXPECT_TRUE(dumped(0).isEmpty()); // block 0 was never programmed
}
