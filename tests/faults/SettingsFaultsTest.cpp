// setup.ini under hostile conditions: a writer killed mid-write over and
// over, lock files left by programs that died, a settings folder that takes
// no write, a full disk, a Log.txt that cannot be written. setup.ini is
// never left damaged, an amplifier is still programmed, and a fixture never
// gets a number the counter cannot move past.
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "IniFileHandler.h"
#include "IniText.h"
#include "IniVersions.h"
#include "Settings.h"
#include "SettingsLock.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::cli::test;
using namespace vlboot::faults;
using vlboot::test::TestFolder;

namespace {

constexpr int GuardMs = 20000;

QStringList entries(const TestFolder& folder)
{
    return QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

void age(const QString& path, int seconds)
{
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime);
}

// Makes `folder` refuse new files: by its permissions, or, where they do
// not stop this user (root), by the file system's immutable flag. False
// where neither works.
bool setReadOnly(const QString& folder, bool on)
{
    ::chmod(QFile::encodeName(folder).constData(), on ? 0555 : 0700);
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0)
        ::close(fd);
    QFile probe(QDir(folder).filePath(".probe"));
    const bool refused = !probe.open(QIODevice::WriteOnly);
    probe.remove();
    return !on || refused;
}

} // namespace

TEST(SettingsFaults, AWriterKilledMidWriteAlwaysLeavesOneCompleteFile)
{
    TestFolder folder;
    QByteArray seed = "[ComSettings]\r\nDevAdr=1\r\nComSpeed=57600\r\n";
    for (int i = 0; i < KeyCount; ++i)
        seed = IniStore(seed, u"Faults", KeyName(i), VersionValue('A', i));
    folder.write("setup.ini", seed);
    std::mt19937 random(20240607);
    QByteArray previous = seed;
    int changes = 0;
    int round = 0;
    QElapsedTimer spent;
    spent.start();
    for (; round < 300 && (round < 100 || spent.elapsed() < 15000); ++round) { // fewer in a slow sanitizer build
        QProcess writer;
        writer.start(BinaryPath("ini_writer"), {folder.path()});
        ASSERT_TRUE(writer.waitForReadyRead(GuardMs));
        QThread::msleep(std::uniform_int_distribution<int>(0, 20)(random));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(GuardMs));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit) << "round " << round << ": the writer stopped by itself";
        const QByteArray content = folder.read("setup.ini");
        ASSERT_EQ(content.count('\n'), seed.count('\n')) << "round " << round;
        ASSERT_TRUE(content.startsWith("[ComSettings]\r\nDevAdr=1\r\nComSpeed=57600\r\n[Faults]\r\n")) << "round " << round;
        for (int i = 0; i < KeyCount; ++i) {
            const QString value = IniLookup(content, u"Faults", KeyName(i)).value_or("");
            ASSERT_TRUE(value == VersionValue('A', i) || value == VersionValue('B', i)) << "round " << round << " key " << i;
        }
        changes += content != previous;
        previous = content;
    }
    EXPECT_GT(changes, 0); // writes did complete between the kills (how many depends on the machine's load)
    for (const QString& name : entries(folder))
        EXPECT_TRUE(name == "setup.ini" || name.startsWith("setup.ini.")) << name.toStdString();
    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "9")); // leftovers neither block nor mislead the next write
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "9");
}

TEST(SettingsFaults, LockFilesLeftByTheDeadAreTakenOverAndALiveHoldersNever)
{
    QProcess gone; // a lock file as this machine writes them, of a process that has ended
    gone.start(BinaryPath("ini_writer"), {});
    ASSERT_TRUE(gone.waitForFinished(GuardMs));
    TestFolder probe;
    QByteArray deadLock;
    {
        QLockFile lock(probe.file("probe.lock"));
        ASSERT_TRUE(lock.tryLock(0));
        deadLock = probe.read("probe.lock");
    }
    deadLock = QByteArray::number(gone.processId()) + deadLock.mid(deadLock.indexOf('\n'));
    const struct {
        QList<QByteArray> levels; // setup.ini.lock, then its .rmlock, ...
        int ageSeconds;           // of the last level
    } cases[] = {
        {{""}, 60},                                  // killed between creating it and writing its id
        {{"\n\n\n"}, 60},
        {{"not a process\n"}, 60},
        {{""}, 0},                                   // just left: taken over within the write's wait
        {{deadLock, ""}, 5},                         // died while clearing a dead writer's lock, level by level
        {{deadLock, deadLock, deadLock, ""}, 5},
    };
    for (const auto& c : cases) {
        TestFolder folder;
        folder.write("setup.ini", "[ComSettings]\r\nDevAdr=1\r\n");
        QString name = "setup.ini.lock";
        for (const QByteArray& content : c.levels) {
            folder.write(name, content);
            age(folder.file(name), c.ageSeconds);
            name += ".rmlock";
        }
        const IniFileHandler ini(folder.file("setup.ini"));
        EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "7")) << c.levels.size() << " " << c.levels.last().constData();
        EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "7");
    }
    TestFolder folder;
    QLockFile holder(folder.file("setup.ini.lock"));
    ASSERT_TRUE(holder.tryLock(0));
    age(folder.file("setup.ini.lock"), 60);
    EXPECT_FALSE(SettingsLock(folder.file("setup.ini"), 600).IsLocked());
}

TEST(SettingsFaults, ASettingsFolderThatTakesNoWriteNeverCostsAUnitOrTheFile)
{
    TestFolder settings, work;
    QByteArray before = "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n[Velmsettings]\r\nSerial=1000\r\n[Pad]\r\n";
    for (int i = 0; i < 20; ++i) // more than 1 KiB, so that a full disk stops it
        before += "Pad" + QByteArray::number(i) + "=" + QByteArray(100, 'p') + "\r\n";
    const sim::Image image = sim::MakeImage({.blockCount = 2, .bytesPerBlock = 512});
    work.write("module.ldr", image.hex);
    enum Fault { ReadOnly, FullDisk, LogIsAFolder, LogIsAFolderByDebugCode };
    const struct {
        Fault fault;
        const char* device;
        int exitCode;
        const char* why; // "" for a success
    } cases[] = {
        {ReadOnly, "amplifier", 0, ""},
        {ReadOnly, "fixture", 1, "cannot be locked"},
        {FullDisk, "amplifier", 0, ""},
        {FullDisk, "fixture", 1, "1001 cannot be stored"},
        {LogIsAFolder, "amplifier", 0, ""},
        {LogIsAFolderByDebugCode, "amplifier", 0, ""},
    };
    for (const auto& c : cases) {
        settings.write("setup.ini", before + (c.fault == LogIsAFolderByDebugCode ? "[AmpCom]\r\nDebug=73\r\n" : ""));
        const QByteArray expected = settings.read("setup.ini");
        QDir(settings.path()).mkdir("Log.txt");
        if (c.fault == ReadOnly && !setReadOnly(settings.path(), true))
            continue; // no way to make a folder read-only for this user here
        const QString dump = work.file(QStringLiteral("dump-%1-%2").arg(c.fault).arg(c.device));
        Simulator sim({"--device", c.device, "--dump", dump});
        ASSERT_TRUE(sim.Started());
        CliRun run({"--config-dir", settings.path(), "--port", sim.TerminalPath(), "--quiet", "--reply-timeout", "2",
                    work.file("module.ldr"), c.fault == LogIsAFolder ? "--log" : "--quiet"},
                   c.fault == FullDisk ? FileSizeLimit(1024) : std::function<void()>{});
        const CliResult r = run.Finish();
        sim.Stop();
        setReadOnly(settings.path(), false);
        ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
        EXPECT_EQ(r.exitCode, c.exitCode) << c.fault << c.device << r.errText().toStdString();
        EXPECT_TRUE(r.why().contains(c.why)) << r.why().toStdString();
        if (QByteArray(c.device) == "amplifier")
            EXPECT_EQ(DumpedBlock(dump, 1), image.blocks.at(1)) << c.fault;
        else
            EXPECT_EQ(DumpedSerialNumber(dump), -1) << "a serial number was given out";
        if (c.fault == ReadOnly || c.fault == FullDisk) {
            EXPECT_EQ(settings.read("setup.ini"), expected) << c.fault; // whole, unchanged
        }
        // The unit's record: kept where the folder takes it, else said; the outcome stays.
        const QStringList kept = c.fault == ReadOnly ? QStringList{"Log.txt", "setup.ini"} : QStringList{"Log.txt", "runs.csv", "setup.ini"};
        EXPECT_EQ(entries(settings), kept) << c.fault;
        EXPECT_EQ(r.errText().contains("the record of this run cannot be kept"), c.fault == ReadOnly) << c.fault;
        EXPECT_TRUE(QDir(settings.file("Log.txt")).isEmpty());
    }
}
