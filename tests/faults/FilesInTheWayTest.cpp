// Files a run opens that are no regular file (a FIFO nobody writes, a
// folder), a settings lock no program of this host holds, and outputs that
// cannot be written whole: each is said at once, never blocks the run, never
// replaced, and a stop signal ends any wait.
#include "CliFixture.h"
#include "DatabaseRecords.h"
#include "ProductionDatabase.h"

#include <QDir>
#include <QDeadlineTimer>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

using FilesInTheWay = CliFixture;
const QStringList Quiet{"--quiet", "--reply-timeout", "2"};

} // namespace

TEST_F(FilesInTheWay, AFifoOrFolderWhereARunOpensAFileIsRefusedAtOnceAndLeftAsItIs)
{
    const QString database = "host=/nonexistent-vlboot-socket dbname=none";
    const QString queue = QFileInfo(DatabaseRecords::QueueFileIn(folder.path(), ProductionDatabase(database))).fileName();
    enum Kind { Fifo, Folder };
    const struct {
        QString name; // in the settings folder
        Kind kind;
        const char* device;
        QStringList more;
        int exitCode;
        QString said; // on standard error (and the why line of a fault)
    } cases[] = { // (setup.ini first: every run writes one)
        {"setup.ini", Fifo, "amplifier", {}, 0, "setup.ini is a pipe or FIFO, not a regular file: the settings' defaults are used"},
        {"runs.csv", Fifo, "amplifier", {}, 0, "runs.csv is a pipe or FIFO, not a regular file"},
        {"mine.csv", Fifo, "amplifier", {"--record", folder.file("mine.csv")}, 0, "mine.csv is a pipe or FIFO"},
        {"Log.txt", Fifo, "amplifier", {"--log"}, 1, "the traffic log " + folder.file("Log.txt") + " is a pipe or FIFO"},
        {queue, Fifo, "amplifier", {"--database", database}, 0, queue + " is a pipe or FIFO"},
        {"setup.ini.lock", Fifo, "fixture", {}, 1, "setup.ini.lock is a pipe or FIFO, not a lock file"},
        {"setup.ini.lock", Folder, "fixture", {}, 1, "setup.ini.lock is a folder, not a lock file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said.toStdString());
        const QString place = folder.file(c.name);
        ASSERT_TRUE(c.kind == Fifo ? ::mkfifo(QFile::encodeName(place).constData(), 0600) == 0 : QDir().mkdir(place));
        const QDeadlineTimer atOnce(10000);
        const CliResult r = runAgainst({"--device", c.device}, Quiet + c.more);
        EXPECT_FALSE(atOnce.hasExpired()); // no wait for a lock that is none (a settings write waits 20 s at most)
        EXPECT_EQ(r.exitCode, c.exitCode) << r.errText().toStdString();
        const bool fixture = QByteArray(c.device) == "fixture"; // no serial number without the lock: a fault saying why
        EXPECT_EQ(r.why().contains(c.said), fixture) << r.why().toStdString();
        EXPECT_EQ(r.errText().count(c.said) - fixture, 1) << r.errText().toStdString(); // said once, however often it is met
        EXPECT_EQ(DumpedSerialNumber(dump()), -1);
        // Neither replaced nor removed.
        EXPECT_TRUE(QFileInfo::exists(place) && !QFileInfo(place).isFile() && QFileInfo(place).isDir() == (c.kind == Folder));
        QFile::remove(place) || QDir(place).removeRecursively();
        QFile::remove(folder.file("runs.csv"));
    }
}

TEST_F(FilesInTheWay, AnotherHostsLockIsNamedAtOnceAndAStopEndsItsWait)
{
    // Qt's lock file: process id, program, host. Of another host it can never be called stale.
    const QByteArray foreign = "4242\nvlboot-cli\nline-7.example\n";
    folder.write("setup.ini.lock", foreign);
    Simulator sim({"--device", "fixture", "--dump", dump()});
    const QDeadlineTimer soon(8000);
    CliRun run(args(sim.TerminalPath(), Quiet));
    ASSERT_TRUE(run.WaitForOutput("waiting at most 20 s for the settings lock: " + folder.file("setup.ini.lock").toUtf8()
                                  + " is held by process 4242 (vlboot-cli) on host line-7.example since "));
    EXPECT_GT(soon.remainingTime(), 3000);
    run.Signal(SIGTERM);
    const CliResult r = run.Finish();
    sim.Stop();
    EXPECT_FALSE(soon.hasExpired()) << r.errText().toStdString(); // not the rest of the 20 s, nor one wait per setting
    EXPECT_EQ(r.exitCode, 143) << r.errText().toStdString();
    EXPECT_EQ(DumpedSerialNumber(dump()), -1);
    EXPECT_EQ(folder.read("setup.ini.lock"), foreign);
}

TEST_F(FilesInTheWay, OutputThatCannotBeWrittenWholeIsSaidAndEndsNoRunWithZero)
{
    const auto fullOutput = [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); }; // (async-signal-safe calls only)
    const struct {
        const char* device;
        QStringList more;
        std::function<void()> setup;
        int exitCode;
        const char* said;
    } cases[] = {
        {"amplifier", {"--json"}, fullOutput, 1, "vlboot-cli: standard output could not be written (No space left on device)"},
        {"silent", {"--reply-timeout", "0.2"}, fullOutput, 2, "vlboot-cli: standard output could not be written"}, // a time-out stays one
        {"amplifier", {"--log"}, FileSizeLimit(2048), 1, "Log.txt cannot be written (File too large)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        Simulator sim({"--device", c.device});
        CliRun run(args(sim.TerminalPath(), QStringList{"--quiet"} + c.more), c.setup);
        const CliResult r = run.Finish();
        EXPECT_EQ(r.exitCode, c.exitCode) << r.errText().toStdString();
        EXPECT_EQ(r.errText().count(c.said), 1) << r.errText().toStdString();
    }
}
