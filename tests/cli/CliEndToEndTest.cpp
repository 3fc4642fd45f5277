// vlboot-cli against vlboot-sim on a pseudo-terminal, each run in a fresh
// settings folder. The simulator answers at once, so every successful run
// takes milliseconds; the runs that must time out use a short reply wait.
#include "CliFixture.h"
#include "SerialPort.h"
#include "Version.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <csignal>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

using EndToEnd = CliFixture;

// The lock file of the simulator's terminal once a run has made it ("" when none came).
QString runLock(const Simulator& sim)
{
    const QString path = DeviceLockFolder() + '/' + DeviceLockName(sim.TerminalPath());
    for (QDeadlineTimer guard(20000); !QFile::exists(path) && !guard.hasExpired();)
        QThread::msleep(5);
    return QFile::exists(path) ? path : QString();
}

} // namespace

TEST_F(EndToEnd, OverridesAreUsedButNotWrittenAndTheLogRecordsTheTraffic)
{
    Simulator sim({"--device", "amplifier", "--dump", dump()});
    // The firmware file with lone CR, LF and CR LF line ends, mixed: both passes read every record.
    const QList<QByteArray> lines = image.hex.split('\n');
    QByteArray mixed;
    for (qsizetype i = 0; i < lines.size(); ++i)
        mixed += lines[i].trimmed() + QByteArrayList{"\r", "\n", "\r\n"}[i % 3];
    folder.write("fw.ldr", mixed);
    // CR LF as the settings file writes it: a value rewritten unchanged leaves it byte for byte the same.
    const QByteArray settings = QStringLiteral("[ComSettings]\r\nDevAdr=1\r\nComPort=3\r\nComSpeed=9600\r\n[AmpCom]\r\nDebug=0\r\n"
                                               "[Velmsettings]\r\nFirmwareFile=%1\r\n[Ports]\r\nCOM5=%2\r\n")
                                    .arg(folder.file("fw.ldr"), sim.TerminalPath())
                                    .toUtf8();
    folder.write("setup.ini", settings);
    // COM5 through the [Ports] map, the file from the FirmwareFile setting.
    const CliResult r = RunCli({"--config-dir", folder.path(), "--port", "com5", "--speed", "115200", "--address", "9", "--log"});
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(r.outLines(), (QStringList{"Init", "KVX5500+ with Velmora found", "Checking file...", "File found", "File ok",
                                         "Programming Velmora module", "Done with succes"}));
    EXPECT_EQ(folder.read("setup.ini"), settings);
    sim.Stop();
    // The flash as vlboot-mkfw --verify compares it: equal, then one byte changed.
    folder.write("plain.ldr", image.hex + sim::HexRecord(0, 0, "after the end")); // what follows the end record is no flash
    EXPECT_EQ(Program("vlboot-mkfw", {"--verify", dump(), folder.file("plain.ldr")}).Finish().exitCode, 0);
    folder.write("dump/block-001.bin", QByteArray(image.blocks.at(1)).replace(5, 1, "?"));
    const CliResult changed = Program("vlboot-mkfw", {"--verify", dump(), folder.file("plain.ldr")}).Finish();
    EXPECT_EQ(changed.exitCode, 1);
    EXPECT_EQ(Program("vlboot-mkfw", {"--verify", dump(), folder.file("none.ldr")}).Finish().exitCode, 2); // nothing to hold it against
    EXPECT_TRUE(changed.out.startsWith("block   0: flash equals the file (320 bytes)\n"
                                       "block   1: flash DIFFERS from the file: 1 of 320 bytes, the first at 0x00010005 (flash 0x3F, "))
        << changed.out.toStdString();
    const QStringList log = QString::fromUtf8(folder.read("Log.txt")).split("\r\n");
    const QStringList tx = log.filter(QRegularExpression("^\\S+ \\S+ TX: "));
    ASSERT_FALSE(tx.isEmpty());
    for (const QString& line : tx) // every frame carries address 9, low byte first
        EXPECT_TRUE(line.contains(QRegularExpression(" TX: [0-9A-F]{2} 09 00 "))) << line.toStdString();
}

TEST_F(EndToEnd, ThePortIsTheRunsUntilItEndsWhicheverWayItEnds)
{
    // A second run finds it in use whenever it tries (during a frame or
    // between two), nothing of it reaches the line, and the lock names the run.
    useImage({.blockCount = 2, .bytesPerBlock = 2048}); // about 6 s at 9600 baud
    Simulator paced({"--device", "amplifier", "--baud", "9600"});
    CliRun first(args(paced.TerminalPath()));
    ASSERT_TRUE(first.WaitForOutput("Programming Velmora module\n"));
    const QString lock = runLock(paced);
    EXPECT_EQ(ReadFileBytes(lock), QByteArray::number(first.Pid()).rightJustified(10, ' ') + '\n');
    const CliResult second = RunCli(args(paced.TerminalPath(), {"--reply-timeout", "0.1"}));
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_TRUE(second.errText().contains("Velm_Bootloader: Comm Port already open\n"));
    EXPECT_TRUE(second.why().contains(QStringLiteral("locked by process %1").arg(first.Pid()))) << second.why().toStdString();
    EXPECT_EQ(first.Finish().exitCode, 0);
    paced.Stop();
    EXPECT_FALSE(QFile::exists(lock));

    // A run stopped by a signal (SIGHUP too: its terminal was closed) ends
    // as a stop, said and recorded; stopped or killed, it leaves the port
    // free for the next one at once.
    Simulator silent({"--device", "silent"});
    for (const int signal : {SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(signal);
        const bool kill = signal == SIGKILL;
        const qsizetype records = folder.read("runs.csv").count('\n');
        CliRun run(args(silent.TerminalPath(), {"--reply-timeout", "30", "--json"}));
        const QString held = runLock(silent);
        ASSERT_FALSE(held.isEmpty());
        run.Signal(signal);
        const CliResult r = run.Finish();
        if (!kill) {
            EXPECT_EQ(r.exitCode, 128 + signal);
            EXPECT_TRUE(r.errText().contains(QStringLiteral("vlboot-cli: stopped by %1 ").arg(signal == SIGHUP ? "SIGHUP" : "SIGTERM")));
            EXPECT_TRUE(r.lastCaption().contains("\"outcome\":\"stopped\"")) << r.lastCaption().toStdString();
            EXPECT_EQ(folder.read("runs.csv").count('\n'), records + 1); // its record kept
        }
        EXPECT_EQ(QFile::exists(held), kill); // a killed run's lock stays behind...
        const CliResult next = RunCli(args(silent.TerminalPath(), {"--reply-timeout", "0.05"}));
        EXPECT_EQ(next.exitCode, 2);
        EXPECT_FALSE(next.errText().contains("Comm Port")) << next.errText().toStdString(); // ...and is taken over
    }
}

TEST_F(EndToEnd, UsageHelpAndVersion)
{
    const CliResult bad = RunCli({"--config-dir", folder.path(), "--speed", "115000"});
    EXPECT_EQ(bad.exitCode, 64);
    EXPECT_TRUE(bad.errText().contains("Usage: vlboot-cli") && bad.out.isEmpty());
    EXPECT_FALSE(folder.exists("setup.ini")); // nothing was read, nothing written
    const CliResult typo = RunCli({"--config-dir", folder.file("no-such-folder"), "--list-ports"});
    EXPECT_EQ(typo.exitCode, 64); // a typo, not a fresh start
    EXPECT_TRUE(typo.errText().contains("not an existing folder"));
    EXPECT_EQ(RunCli({"--version"}).out, QByteArray("vlboot-cli ") + VersionText + "\n");
    // A file name in another encoding than the system's: said as its bytes,
    // not "no such file" for a name with replacement characters.
    QProcess latin1;
    latin1.start("/bin/sh", {"-c", R"sh(exec "$0" --check "$(printf 'fw\351.ldr')")sh", QDir(QCoreApplication::applicationDirPath()).filePath("vlboot-cli")});
    ASSERT_TRUE(latin1.waitForFinished(20000));
    EXPECT_EQ(latin1.exitCode(), 64);
    EXPECT_TRUE(latin1.readAllStandardError().contains(R"(fw\xe9.ldr is no text in this system's encoding)"));
}
