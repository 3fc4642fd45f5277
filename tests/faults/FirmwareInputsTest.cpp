// Firmware files that are not what a run can read twice, or not the same
// twice: each must end "Fault" before the module is touched or before the
// next block is programmed, never "Done with succes".
#include "CliFixture.h"

#include <sys/stat.h>

using namespace vlboot::cli::test;

namespace {

using FirmwareInputs = CliFixture;
const QStringList Quiet{"--quiet", "--reply-timeout", "2"};

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
        Simulator sim({"--device", "amplifier", "--dump", dump()});
        CliRun run(args(sim.TerminalPath(), Quiet, c.file), {}, c.stdinContent);
        const CliResult r = run.Finish();
        sim.Stop();
        ASSERT_TRUE(r.finished) << c.kind;
        EXPECT_EQ(r.exitCode, 1) << c.file.toStdString();
        EXPECT_EQ(r.outLines().mid(2), (QStringList{"Checking file...", "File found", "Fault"}));
        EXPECT_TRUE(r.why().contains(c.kind)) << r.why().toStdString();
        EXPECT_TRUE(DumpedBlock(dump(), 0).isEmpty());
    }
}

TEST_F(FirmwareInputs, AFileChangedBetweenThePassesEndsBeforeTheNextBlockIsProgrammed)
{
    // Paced, so that the file is changed long before the first block ends.
    Simulator sim({"--device", "amplifier", "--baud", "9600", "--dump", dump()});
    CliRun run(args(sim.TerminalPath(), Quiet + QStringList{"--json"}));
    ASSERT_TRUE(run.WaitForOutput("\"event\":\"progress\""));
    QByteArray other = image.hex;
    other.replace(":20", ":20"); // same records, rewritten in place: only the file's times change
    folder.write("fw.ldr", other);
    const CliResult r = run.Finish();
    sim.Stop();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.why().contains("changed since it was checked")) << r.errText().toStdString();
    EXPECT_TRUE(DumpedBlock(dump(), 0).isEmpty()); // block 0 was never programmed
}
