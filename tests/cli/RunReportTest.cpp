// What vlboot-cli says beyond the captions: warnings about runs that succeed
// but leave the unit doubtful (and --strict, which makes them faults), and
// precise reasons for failures.
#include "CliFixture.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

QByteArray hexImage(int firstBlock, bool endRecord = true)
{
    QByteArray hex = sim::MakeImage({.firstBlock = firstBlock, .bytesPerBlock = 64}).hex;
    if (!endRecord)
        hex.chop(sim::EndRecord().size());
    return hex;
}

struct RunReport : CliFixture {
    // Runs `hex` against a simulator started with `simArgs`.
    CliResult run(const QStringList& simArgs, const QByteArray& hex, const QStringList& more = {})
    {
        folder.write("fw.ldr", hex);
        return runAgainst(simArgs, QStringList{"--quiet", "--reply-timeout", "0.3"} + more);
    }
};

QJsonObject resultEvent(const CliResult& r)
{
    return QJsonDocument::fromJson(r.outLines().constLast().toUtf8()).object();
}

} // namespace

TEST_F(RunReport, DoubtfulRunsWarnAndStrictMakesThemFaults)
{
    // (Each warning's text is checked with the programming run.) A record that
    // cannot be kept is said, and changes nothing.
    const CliResult r = run({"--device", "fixture"}, hexImage(6, false), {"--strict", "--json", "--record", folder.file("no/runs.csv")});
    const QJsonObject result = resultEvent(r);
    EXPECT_EQ(r.exitCode, 1) << r.errText().toStdString();
    EXPECT_TRUE(result["record_error"].toString().contains("the record of this run cannot be kept")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\"text\":\"Done with succes\"")); // the captions stay a success
    EXPECT_TRUE(r.errText().contains("warning: ") && result["why"].toString().startsWith("--strict: "));
    EXPECT_TRUE(QJsonDocument(result["warnings"].toArray()).toJson().contains("has no end-of-file record")) << r.errText().toStdString();
    // Without --strict a warning leaves the run a success.
    const CliResult plain = run({"--device", "amplifier"}, hexImage(6));
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.errText().contains("warning: block 6")) << plain.errText().toStdString();
}

TEST_F(RunReport, FailuresSayWhatCameInsteadOfAReply)
{
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
        const CliResult r = run(c.simArgs, hexImage(0));
        EXPECT_EQ(r.exitCode, c.exitCode) << c.why;
        EXPECT_EQ(r.lastCaption(), c.exitCode == 2 ? "COM timeout" : "Fault");
        EXPECT_TRUE(r.errText().contains("Error!\nFault during upload.\nwhy: ")) << r.errText().toStdString();
        EXPECT_TRUE(r.why().contains(c.why)) << c.why << " / " << r.why().toStdString();
    }
}

TEST_F(RunReport, AnEndRecordWithDataWhileABlockChangeIsPendingClosesTheRunAndCheckCountsWhatARunSends)
{
    // The end record's own data are not written; data after it are not either.
    const QByteArray hex = sim::BlockRecord(0) + sim::HexRecord(0, 0, QByteArray(32, 'a')) + sim::BlockRecord(1)
        + sim::HexRecord(0x01, 0, QByteArray(4, 'e')) + sim::HexRecord(0, 0x40, QByteArray(32, 'z'));
    const CliResult r = run({"--device", "amplifier"}, hex, {"--strict"});
    EXPECT_EQ(r.lastCaption(), "Done with succes") << r.errText().toStdString();
    EXPECT_TRUE(r.errText().contains("1 data records after its end-of-file record at line 4 (line 5): they are not written"))
        << r.errText().toStdString();
    const CliResult check = RunCli({"--check", "--json", folder.file("fw.ldr")});
    const QJsonObject event = QJsonDocument::fromJson(check.out).object();
    EXPECT_EQ(event["records"].toInt(), 1);
    EXPECT_EQ(event["data_bytes"].toInt(), 32);
    EXPECT_EQ(event["blocks"].toArray().size(), 1);
    EXPECT_EQ(event["runs"]["amplifier"]["warnings"].toArray().size(), 1);
    EXPECT_EQ(RunCli({"--check", "--strict", folder.file("fw.ldr")}).exitCode, 1);
}

TEST_F(RunReport, AFileThatIsNotThePinnedFirmwareIsRefusedAfterDetectionWithBothHashes)
{
    folder.write("fw.ldr", hexImage(0));
    const QByteArray actual = QCryptographicHash::hash(folder.read("fw.ldr"), QCryptographicHash::Sha256).toHex();
    const QByteArray pinned = QByteArray(64, 'a');
    folder.write("setup.ini", "[Production]\r\nFirmwareSha256=" + pinned.toUpper() + "\r\n");
    Simulator sim({"--device", "amplifier"});
    const CliResult r = RunCli(args(sim.TerminalPath(), {"--quiet"}));
    const CliResult summary = sim.Terminate();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastCaption(), "Fault");
    EXPECT_TRUE(r.why().contains("its SHA-256 is " + actual + ", the pinned one is " + pinned)) << r.why().toStdString();
    EXPECT_TRUE(summary.errText().contains("requests 1,")) << summary.errText().toStdString(); // the detection only
    // --expect-sha256 pins it for one run, over the setting.
    Simulator again({"--device", "amplifier"});
    EXPECT_EQ(RunCli(args(again.TerminalPath(), {"--quiet", "--expect-sha256", actual})).exitCode, 0);
}
