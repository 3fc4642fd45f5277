// vlboot-cli against vlboot-sim on a pseudo-terminal, each run in a fresh
// settings folder. The simulator answers at once, so every successful run
// takes milliseconds; the runs that must time out use a short reply wait.
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "SerialPort.h"
#include "TestFiles.h"
#include "Version.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

const QStringList AmplifierCaptions{"Init",    "KVX5500+ with Velmora found", "Checking file...",
                                    "File found", "File ok", "Programming Velmora module", "Done with succes"};

struct EndToEnd : ::testing::Test {
    vlboot::test::TestFolder folder;

    QString dumpDir() const { return folder.file("dump"); }

    // Writes `name` into the folder; its path.
    QString firmware(const QByteArray& hex, const QString& name = "module.ldr")
    {
        folder.write(name, hex);
        return folder.file(name);
    }

    QStringList cliArgs(const Simulator& sim, const QStringList& more) const
    {
        return QStringList{"--config-dir", folder.path(), "--port", sim.TerminalPath()} + more;
    }

    QString setting(const QString& key) const
    {
        const QRegularExpression re(QStringLiteral("^%1=(.*)$").arg(key), QRegularExpression::MultilineOption);
        return re.match(QString::fromUtf8(folder.read("setup.ini"))).captured(1).trimmed();
    }

    QByteArray dumped(const QString& name) const
    {
        QFile f(QDir(dumpDir()).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

sim::Image smallImage(int blocks)
{
    sim::ImageShape shape;
    shape.blockCount = blocks;
    shape.bytesPerBlock = 320;
    shape.recordSize = 32;
    shape.seed = 7;
    return sim::MakeImage(shape);
}

// The lock file of the simulator's terminal once a run has made it; "" when
// none came within the guard time.
QString RunLock(const Simulator& sim)
{
    const QString path = DeviceLockFolder() + '/' + DeviceLockName(sim.TerminalPath());
    for (QDeadlineTimer guard(20000); !QFile::exists(path) && !guard.hasExpired();)
        QThread::msleep(5);
    return QFile::exists(path) ? path : QString();
}

// The "why: " line of the standard error text.
QString whyLine(const CliResult& r)
{
    const QRegularExpression re(QStringLiteral("^why: (.*)$"), QRegularExpression::MultilineOption);
    return re.match(r.errText()).captured(1);
}

} // namespace

TEST_F(EndToEnd, AmplifierIsProgrammedBlockByBlock)
{
    const sim::Image image = smallImage(2);
    Simulator sim({"--device", "amplifier", "--dump", dumpDir()});
    ASSERT_TRUE(sim.Started());

    const CliResult r = RunCli(cliArgs(sim, {firmware(image.hex)}));
    sim.Stop();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(r.outLines(), AmplifierCaptions);
    EXPECT_FALSE(r.errText().contains("Error!"));
    EXPECT_TRUE(r.errText().contains(QRegularExpression("^vlboot-cli: \\d+ exchanges in [0-9.]+ s, median round trip [0-9.]+ ms",
                                                         QRegularExpression::MultilineOption)))
        << r.errText().toStdString();

    ASSERT_EQ(image.blocks.size(), 2u);
    for (const auto& [block, content] : image.blocks)
        EXPECT_EQ(dumped(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0'))), content) << block;
    EXPECT_FALSE(dumped("block-042.bin").isEmpty()); // the flash CRC was written
}

TEST_F(EndToEnd, FixtureGetsTheSerialNumberAndTheCounterMovesOn)
{
    folder.write("setup.ini", "[Velmsettings]\nSerial=4660\n");
    const sim::Image image = smallImage(1);
    Simulator sim({"--device", "fixture", "--dump", dumpDir()});
    ASSERT_TRUE(sim.Started());

    const CliResult r = RunCli(cliArgs(sim, {firmware(image.hex)}));
    sim.Stop();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(r.outLines().value(1), "Fixtur found");
    EXPECT_EQ(r.outLines().constLast(), "Done with succes");

    const QByteArray memory = dumped("memory.bin");
    ASSERT_EQ(memory.size(), 65536);
    EXPECT_EQ(memory.mid(0x7FFB, 5), QByteArray::fromHex("0B00001234"));
    EXPECT_EQ(memory.left(320), image.blocks.at(0).left(320));
    EXPECT_EQ(setting("Serial"), "4661");
}

TEST_F(EndToEnd, ABadFileIsAFaultNamingFileAndLine)
{
    QByteArray hex = smallImage(1).hex;
    QList<QByteArray> lines = hex.split('\n');
    lines[2][9] = lines[2][9] == '0' ? '1' : '0'; // line 3: a data digit changed, the checksum no longer fits
    const QString file = firmware(lines.join('\n'), "broken.ldr");
    Simulator sim({"--device", "amplifier"});
    ASSERT_TRUE(sim.Started());

    const CliResult r = RunCli(cliArgs(sim, {file}));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.outLines().constLast(), "Fault");
    EXPECT_TRUE(r.errText().contains("Error!\nFault during upload.\nwhy: ")) << r.errText().toStdString();
    EXPECT_TRUE(whyLine(r).contains(file + ", line 3")) << whyLine(r).toStdString();
}

TEST_F(EndToEnd, ASilentDeviceIsATimeOutNamingTheRequest)
{
    Simulator sim({"--device", "silent"});
    ASSERT_TRUE(sim.Started());
    const CliResult r = RunCli(cliArgs(sim, {"--reply-timeout", "0.2", firmware(smallImage(1).hex)}));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.outLines().constLast(), "COM timeout");
    EXPECT_EQ(r.outLines().value(1), "KVX5500+ with Velmora found"); // silence counts as the amplifier
    EXPECT_TRUE(whyLine(r).contains("no answer in time to the boot-mode entry")) << r.errText().toStdString();
}

TEST_F(EndToEnd, ARefusedProgramRequestIsAFaultNamingTheStatus)
{
    Simulator sim({"--device", "amplifier", "--fault", "program:1:status=0x15"});
    ASSERT_TRUE(sim.Started());
    const CliResult r = RunCli(cliArgs(sim, {firmware(smallImage(2).hex)}));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.outLines().constLast(), "Fault");
    EXPECT_TRUE(whyLine(r).contains("refused the program request of flash block 0 with status 0x15"))
        << r.errText().toStdString();
}

TEST_F(EndToEnd, AMissingPortTimesOutWithTheHintToListThePorts)
{
    const CliResult r = RunCli({"--config-dir", folder.path(), "--port", "/dev/vlboot-no-such-tty", "--reply-timeout",
                                "0.2", firmware(smallImage(1).hex)});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errText().count("Velm_Bootloader: Comm Port not available!\n"), 1) << r.errText().toStdString();
    const QString why = whyLine(r);
    EXPECT_TRUE(why.contains("/dev/vlboot-no-such-tty")) << why.toStdString();
    EXPECT_TRUE(why.contains("vlboot-cli --list-ports"));
}

TEST_F(EndToEnd, OverridesAreUsedButNotWrittenAndTheLogRecordsTheTraffic)
{
    Simulator sim({"--device", "amplifier"});
    ASSERT_TRUE(sim.Started());
    // CR LF as the settings file writes it: a value rewritten unchanged leaves it byte for byte the same.
    const QByteArray settings = QStringLiteral("[ComSettings]\r\nDevAdr=1\r\nComPort=3\r\nComSpeed=9600\r\n[AmpCom]\r\n"
                                               "Debug=0\r\n[Velmsettings]\r\nFirmwareFile=%1\r\n[Ports]\r\nCOM5=%2\r\n")
                                    .arg(firmware(smallImage(1).hex), sim.TerminalPath())
                                    .toUtf8();
    folder.write("setup.ini", settings);

    // COM5 through the [Ports] map, the file from the FirmwareFile setting.
    const CliResult r = RunCli({"--config-dir", folder.path(), "--port", "com5", "--speed", "115200", "--address", "9", "--log"});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(folder.read("setup.ini"), settings);

    const QString log = QString::fromUtf8(folder.read("Log.txt"));
    EXPECT_TRUE(log.startsWith(QString(107, '*'))) << log.left(200).toStdString();
    EXPECT_TRUE(log.contains("Logfile for serial comunication"));
    const QStringList tx = log.split("\r\n").filter(QRegularExpression("^\\S+ \\S+ TX: "));
    ASSERT_FALSE(tx.isEmpty()) << log.toStdString();
    for (const QString& line : tx) // every frame carries address 9, low byte first
        EXPECT_TRUE(line.contains(QRegularExpression(" TX: [0-9A-F]{2} 09 00 "))) << line.toStdString();
    EXPECT_FALSE(log.split("\r\n").filter(QRegularExpression("^\\S+ \\S+ RX: ")).isEmpty());
}

TEST_F(EndToEnd, JsonEventsParseAndEndWithTheResult)
{
    Simulator sim({"--device", "amplifier"});
    ASSERT_TRUE(sim.Started());
    const CliResult r = RunCli(cliArgs(sim, {"--json", firmware(smallImage(2).hex)}));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);

    QStringList captions;
    int lastPercent = -1;
    QJsonObject result;
    for (const QString& line : r.outLines()) {
        QJsonParseError error{};
        const QJsonObject event = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(result.isEmpty()) << "an event after the result: " << line.toStdString();
        const QString kind = event["event"].toString();
        if (kind == "caption")
            captions << event["text"].toString();
        else if (kind == "progress") {
            EXPECT_GT(event["percent"].toInt(), lastPercent);
            lastPercent = event["percent"].toInt();
            EXPECT_EQ(event["total"].toInt(), 640);
        } else if (kind == "result")
            result = event;
        else
            ADD_FAILURE() << line.toStdString();
    }
    EXPECT_EQ(captions, AmplifierCaptions);
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(result["status"].toInt(-1), 0);
    EXPECT_EQ(result["outcome"].toString(), "success");
    EXPECT_GT(result["exchanges"].toInt(), 20); // detection, boot mode, 7 erases, 20 writes, ...
    EXPECT_GE(result["median_rtt_ms"].toDouble(-1), 0.0);
}

TEST_F(EndToEnd, TerminationOrKillEndsTheRunAndLeavesThePortFree)
{
    Simulator sim({"--device", "silent"});
    ASSERT_TRUE(sim.Started());
    const QString file = firmware(smallImage(1).hex);
    for (const bool kill : {false, true, false}) {
        CliRun run(cliArgs(sim, {"--reply-timeout", "30", file}));
        // The run is under way: waiting for an answer that never comes.
        const QString lock = RunLock(sim);
        ASSERT_FALSE(lock.isEmpty());
        const CliResult r = kill ? run.Kill() : run.Terminate();
        EXPECT_TRUE(kill || (r.finished && r.exitCode == 143));
        EXPECT_EQ(QFile::exists(lock), kill) << "the lock of a killed run stays behind";

        // The next run opens the same port at once, taking a killed run's lock over.
        const CliResult next = RunCli(cliArgs(sim, {"--reply-timeout", "0.05", file}));
        EXPECT_EQ(next.exitCode, 2);
        EXPECT_FALSE(next.errText().contains("Comm Port")) << next.errText().toStdString();
        EXPECT_FALSE(QFile::exists(lock));
    }
}

// From its first frame to its end the port is the run's: a second run finds
// it in use whenever it tries (during a frame or between two), and nothing
// of it reaches the line.
TEST_F(EndToEnd, ASecondRunOnTheSamePortIsRefusedAndTheFirstGoesOnUndisturbed)
{
    sim::ImageShape shape; // about 6 s at 9600 baud
    shape.blockCount = 2;
    shape.bytesPerBlock = 2048;
    const sim::Image image = sim::MakeImage(shape);
    Simulator sim({"--device", "amplifier", "--baud", "9600", "--dump", dumpDir()});
    ASSERT_TRUE(sim.Started());
    const QString file = firmware(image.hex);
    CliRun first(cliArgs(sim, {file}));
    ASSERT_TRUE(first.WaitForOutput("Programming Velmora module\n"));
    const QString lock = RunLock(sim);
    QFile lockFile(lock);
    ASSERT_TRUE(lockFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(lockFile.readAll(), QByteArray::number(first.Pid()).rightJustified(10, ' ') + '\n');

    const CliResult second = RunCli(cliArgs(sim, {"--reply-timeout", "0.1", file}));
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_TRUE(second.errText().contains("Velm_Bootloader: Comm Port already open\n"));
    EXPECT_TRUE(whyLine(second).contains(QStringLiteral("busy, another program holds the port")));
    EXPECT_TRUE(whyLine(second).contains(QStringLiteral("locked by process %1").arg(first.Pid()))) << whyLine(second).toStdString();

    const CliResult r = first.Finish();
    sim.Stop();
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    for (const auto& [block, content] : image.blocks)
        EXPECT_EQ(dumped(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0'))), content) << block;
    EXPECT_FALSE(QFile::exists(lock));
}

TEST_F(EndToEnd, UsageHelpVersionAndPortList)
{
    for (const QStringList& bad : {QStringList{"--port", "17"}, QStringList{"--port", "COM0"}, QStringList{"--speed", "115000"},
                                   QStringList{"--reply-timeout", "0"}, QStringList{"--frobnicate"}, QStringList{"a", "b"}}) {
        const CliResult r = RunCli(QStringList{"--config-dir", folder.path()} + bad);
        EXPECT_EQ(r.exitCode, 64) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.errText().contains("Usage: vlboot-cli")) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(folder.exists("setup.ini")); // nothing was read, nothing written

    const CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(QString::fromLocal8Bit(help.out).contains("Exit status"));

    const CliResult version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("vlboot-cli ") + VersionText + "\n");

    folder.write("setup.ini", "[Ports]\nCOM2=/dev/vlboot-gone\n");
    const CliResult ports = RunCli({"--config-dir", folder.path(), "--list-ports"});
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_TRUE(ports.outLines().value(0).startsWith("DEVICE"));
    EXPECT_TRUE(ports.outLines().contains("COM2 = /dev/vlboot-gone (from [Ports]): missing"));
    const CliResult json = RunCli({"--config-dir", folder.path(), "--list-ports", "--json"});
    const QJsonObject gone = QJsonDocument::fromJson(json.outLines().constLast().toUtf8()).object();
    EXPECT_EQ(gone["device"].toString(), "/dev/vlboot-gone") << json.out.toStdString();
    EXPECT_EQ(gone["com"].toArray().first().toString(), "COM2");
    EXPECT_FALSE(gone["exists"].toBool(true));

    // A settings folder that is not there is a typo, not a fresh start.
    const CliResult typo = RunCli({"--config-dir", folder.file("no-such-folder"), "--list-ports"});
    EXPECT_EQ(typo.exitCode, 64);
    EXPECT_TRUE(typo.errText().contains("not an existing folder"));
    EXPECT_FALSE(folder.exists("no-such-folder"));
}
