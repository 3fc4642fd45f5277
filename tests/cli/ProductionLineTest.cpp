// Several units at once, found automatically, and their records: vlboot-cli
// against several vlboot-sim, each run in a fresh settings folder.
#include "../production/CsvReader.h"
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "SerialPort.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

struct ProductionLine : ::testing::Test {
    vlboot::test::TestFolder folder;
    std::vector<std::unique_ptr<Simulator>> sims;

    QStringList start(int count, const QStringList& simArgs)
    {
        QStringList ports;
        for (int i = 0; i < count; ++i) {
            const QString dump = folder.file(QStringLiteral("dump%1").arg(sims.size()));
            sims.push_back(std::make_unique<Simulator>(simArgs + QStringList{"--dump", dump}));
            ports << "--port" << sims.back()->TerminalPath();
        }
        return ports;
    }
    // The records of runs.csv by column name.
    QList<QMap<QString, QString>> records() const { return CsvRecords(folder.read("runs.csv")); }
};

} // namespace

TEST_F(ProductionLine, FourFixturesOverSeveralRoundsGetDistinctNumbersAndOneRecordEach)
{
    const QString file = folder.file("a,b \"Ü\" ファーム/module.ldr"); // comes back unchanged through a CSV reader
    QDir(folder.path()).mkpath(QFileInfo(file).path());
    folder.write(QFileInfo(file).dir().dirName() + "/module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 640}).hex);
    folder.write("setup.ini", "[Velmsettings]\nSerial=500\n");
    const QStringList ports = start(4, {"--device", "fixture"});
    EXPECT_TRUE(RunCli(QStringList{"--config-dir", folder.path()} + ports + QStringList{folder.file("none.ldr")}).why().contains("no such file"));
    constexpr int Rounds = 3;
    for (int round = 0; round < Rounds; ++round) {
        const CliResult r = RunCli(QStringList{"--config-dir", folder.path()} + ports + QStringList{file});
        ASSERT_EQ(r.exitCode, 0) << r.errText().toStdString();
        EXPECT_EQ(r.outLines().filter(": Done with succes").size(), 4);
    }
    const auto recs = records();
    ASSERT_EQ(recs.size(), 4 * Rounds);
    QSet<QString> numbers;
    for (const auto& rec : recs) {
        numbers << rec["serial_number"];
        EXPECT_EQ(rec["firmware_path"], file);
        EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$").match(rec["ended_at"]).hasMatch());
    }
    for (int n = 500; n < 500 + 4 * Rounds; ++n)
        EXPECT_TRUE(numbers.contains(QString::number(n))) << n;
    EXPECT_TRUE(folder.read("setup.ini").contains("Serial=512"));
    for (int i = 0; i < 4; ++i) { // each fixture holds the number of its last record
        sims.at(i)->Stop();
        const auto last = std::find_if(recs.rbegin(), recs.rend(), [&](auto& rec) { return rec["device_path"] == ports.at(2 * i + 1); });
        EXPECT_EQ(QString::number(DumpedSerialNumber(folder.file(QStringLiteral("dump%1").arg(i)))), last->value("serial_number"));
    }
}

TEST_F(ProductionLine, OneSimulatorKilledMidRunFailsOnlyItsUnit)
{
    folder.write("module.ldr", sim::MakeImage({.blockCount = 2, .bytesPerBlock = 4096}).hex);
    const QStringList ports = start(4, {"--device", "amplifier", "--baud", "57600"});
    const QString victim = ports.at(3);
    CliRun run(QStringList{"--config-dir", folder.path(), "--reply-timeout", "1"} + ports + QStringList{folder.file("module.ldr")});
    ASSERT_TRUE(run.WaitForOutput((victim + ": Programming Velmora module\n").toUtf8()));
    sims.at(1)->Kill();
    const CliResult r = run.Finish();
    EXPECT_EQ(r.exitCode, 2) << r.errText().toStdString();
    EXPECT_EQ(r.outLines().filter(": Done with succes").size(), 3);
    EXPECT_TRUE(r.outLines().contains(victim + ": COM timeout"));
    const QStringList table = r.errText().split('\n').filter(QRegularExpression("^" + victim + " +amplifier"));
    ASSERT_EQ(table.size(), 1) << r.errText().toStdString();
    EXPECT_TRUE(table.constFirst().contains("timeout") && table.constFirst().contains("no answer in time to the memory write"));
    for (const auto& rec : records()) {
        const bool failed = rec["device_path"] == victim;
        EXPECT_EQ(rec["caption"], failed ? "COM timeout" : "Done with succes");
        EXPECT_EQ(rec["failed_step"].isEmpty(), !failed);
        EXPECT_EQ(rec["reason"].contains("no answer in time"), failed);
    }
    EXPECT_EQ(records().size(), 4);
}

TEST_F(ProductionLine, AUnitKilledAfterTakingItsNumberIsRecordedWithWhatItsEventsTold)
{
    folder.write("module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 64}).hex); // 2 records, then the number
    folder.write("setup.ini", "[Velmsettings]\r\nSerial=500\r\n");
    QStringList ports = start(1, {"--device", "fixture", "--fault", "write:3:silence"});
    ports += start(1, {"--device", "fixture"});
    const QString silent = sims.at(0)->TerminalPath();
    CliRun line(QStringList{"--config-dir", folder.path(), "--reply-timeout", "30", "--speed", "57600"} + ports
                + QStringList{folder.file("module.ldr")});
    ASSERT_TRUE(line.WaitForOutput((silent + ": serial number: ").toUtf8()));
    // The unit's own vlboot-cli dies while it waits for the fixture's answer.
    QProcess::execute("pkill", {"-KILL", "-f", "--", "--quiet .*--port " + silent + " "});
    const CliResult r = line.Finish();
    EXPECT_EQ(r.exitCode, 1) << r.errText().toStdString();
    const QString number = QRegularExpression(silent + ": serial number: (\\d+)").match(r.errText()).captured(1);
    const QList<QMap<QString, QString>> all = records();
    const auto killed = std::find_if(all.begin(), all.end(), [&](const auto& rec) { return rec["device_path"] == silent; });
    ASSERT_NE(killed, all.end());
    const QMap<QString, QString> rec = *killed;
    EXPECT_EQ(rec["serial_number"], number);
    EXPECT_EQ(QStringList({rec["serial_write"], rec["baud"], rec["address"], rec["device_kind"], rec["outcome"]}),
              QStringList({"unknown", "57600", "1", "fixture", "fault"}));
    EXPECT_GE(rec["exchanges"].toInt(), 2);
    // The results table says the seconds the record says.
    const QStringList row = r.errText().split('\n').filter(QRegularExpression("^" + silent + " +fixture +" + number + " +fault"));
    ASSERT_EQ(row.size(), 1) << r.errText().toStdString();
    EXPECT_TRUE(row.first().contains(QStringLiteral(" %1 s ").arg(rec["seconds"].toDouble(), 0, 'f', 1))) << row.first().toStdString();
}

TEST_F(ProductionLine, ACounterThatCannotGiveEachFixtureItsOwnNumberRefusesThemBeforeBootMode)
{
    folder.write("module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 64}).hex);
    folder.write("setup.ini", "[Velmsettings]\r\nSerial=1.5\r\n"); // would give 2, 2, 4, 4 ...
    QStringList ports = start(2, {"--device", "fixture"});
    ports += start(1, {"--device", "amplifier"});
    const CliResult r = RunCli(QStringList{"--config-dir", folder.path()} + ports + QStringList{folder.file("module.ldr")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.errText().startsWith("vlboot-cli: fixtures will be refused: the Serial setting 1.5 is not a whole number"))
        << r.errText().toStdString();
    EXPECT_TRUE(folder.read("setup.ini").contains("Serial=1.5\r\n"));
    for (int i = 0; i < 3; ++i) {
        sims.at(i)->Stop();
        EXPECT_EQ(DumpedSerialNumber(folder.file(QStringLiteral("dump%1").arg(i))), -1) << i;
    }
    EXPECT_EQ(DumpedBlock(folder.file("dump2"), 0).size(), 65536); // the amplifier needs no number
}

TEST_F(ProductionLine, OneDeviceNamedTwiceIsRefusedBeforeAnyPortIsTouched)
{
    folder.write("module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 64}).hex);
    const QStringList ports = start(1, {"--device", "amplifier"});
    QFile::link(sims.at(0)->TerminalPath(), folder.file("by-id"));
    const CliResult r = RunCli(QStringList{"--config-dir", folder.path()} + ports
                               + QStringList{"--port", folder.file("by-id"), folder.file("module.ldr")});
    EXPECT_EQ(r.exitCode, 64);
    EXPECT_TRUE(r.errText().contains("are the same device (" + sims.at(0)->TerminalPath() + ")")) << r.errText().toStdString();
    EXPECT_FALSE(folder.exists("runs.csv"));
}

TEST_F(ProductionLine, AutoProgramsWhereADeviceAnswersAndSkipsWhatIsSilentOrHeld)
{
    folder.write("module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 320}).hex);
    start(1, {"--device", "amplifier"});
    start(1, {"--device", "fixture"});
    start(2, {"--device", "silent"});
    QByteArray ini = "[Velmsettings]\nSerial=100\n[Ports]\n";
    for (int i = 0; i < 4; ++i)
        ini += QStringLiteral("COM%1=%2\n").arg(i + 1).arg(sims.at(i)->TerminalPath()).toUtf8();
    ini += "COM9=/dev/vlboot-gone\n";
    folder.write("setup.ini", ini);
    // The last one is held by another program: its lock file names a live process.
    const QString lock = DeviceLockFolder() + '/' + DeviceLockName(sims.at(3)->TerminalPath());
    QFile held(lock);
    const bool locked = held.open(QIODevice::WriteOnly) && held.write(QByteArray::number(::getpid()).rightJustified(10) + '\n') > 0;
    held.close();

    const QStringList probe = RunCli({"--config-dir", folder.path(), "--list-ports", "--probe"}).outLines();
    EXPECT_TRUE(probe.filter("vlboot-gone").isEmpty()); // a mapped path that does not exist is no candidate
    for (const auto& [i, answer] : {std::pair{0, "amplifier"}, {1, "fixture"}, {2, "nothing"}})
        EXPECT_EQ(probe.filter(QRegularExpression("^" + sims.at(i)->TerminalPath() + " +" + answer + "\\b")).size(), 1) << answer;

    const CliResult r = RunCli({"--config-dir", folder.path(), "--port", "auto", "--json", folder.file("module.ldr")});
    QFile::remove(lock);
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    QSet<QString> programmed;
    for (const QString& line : r.outLines()) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        EXPECT_TRUE(o.contains("port")) << line.toStdString();
        if (o["event"] == "result" && o["status"] == 0)
            programmed << o["port"].toString();
    }
    EXPECT_EQ(programmed, (QSet<QString>{sims.at(0)->TerminalPath(), sims.at(1)->TerminalPath()}));
    if (locked) {
        EXPECT_TRUE(r.errText().contains("skipped " + sims.at(3)->TerminalPath() + ": held by another program"))
            << r.errText().toStdString();
    }
}

TEST_F(ProductionLine, CheckDescribesAGoodFileAndRefusesEachKindOfBadOneTouchingNoSetting)
{
    const QByteArray good = sim::MakeImage({.firstBlock = 2, .blockCount = 2, .bytesPerBlock = 256}).hex;
    folder.write("good.ldr", good);
    const CliResult r = RunCli({"--config-dir", folder.path(), "--check", folder.file("good.ldr")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("file: " + folder.file("good.ldr").toUtf8() + "\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  block 3  0x00030000-0x000300FF  256 bytes"));
    const qsizetype times = r.outLines().indexOf(QRegularExpression("^time to program.*"));
    EXPECT_EQ(r.outLines().value(times).size(), r.outLines().value(times + 1).size()); // its columns right-aligned
    EXPECT_TRUE(r.out.contains("sha256: " + QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex()));
    const std::pair<QByteArray, const char*> bad[] = { // "" for a file that is not there
        {":020000006162FF\r\n", "line 1: checksum"},
        {sim::HexRecord(0, 0, QByteArray(33, 'x')), "record of 33 bytes, more than 32"},
        {sim::HexRecord(0, 0xFFF8, QByteArray(16, 'x')), "runs past offset 0xFFFF"},
        {':' + QByteArray(600, '0') + '\n', "longer than any record can be"},
        {"", "no such file"}};
    for (const auto& [content, why] : bad) {
        QFile::remove(folder.file("bad.ldr"));
        if (!content.isEmpty())
            folder.write("bad.ldr", content);
        const CliResult refused = RunCli({"--config-dir", folder.path(), "--check", folder.file("bad.ldr")});
        EXPECT_TRUE(refused.exitCode == 1 && refused.why().contains(why)) << why << ": " << refused.why().toStdString();
    }
    EXPECT_TRUE(RunCli({"--config-dir", folder.path(), "--check", folder.path()}).why().contains("not a regular file"));
    EXPECT_FALSE(folder.exists("setup.ini") || folder.exists("runs.csv"));
}
