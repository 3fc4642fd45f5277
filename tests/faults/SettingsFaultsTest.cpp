// setup.ini under hostile conditions: a writer killed mid-write over and
// over, lock files left by programs that died, a settings folder that takes
// no write, a full disk. setup.ini is
// never left damaged, an amplifier is still programmed, and a fixture never
// gets a number the counter cannot move past.
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "IniFileHandler.h"
#include "IniText.h"
#include "SettingsLock.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::cli::test;
using vlboot::test::TestFolder;

namespace {

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
    // 100 keys of 200 characters flipped between versions A and B by a writer
    // killed at any moment: a file cut anywhere shows as a key without a
    // whole value. The killed writer's lock is taken over by the next.
    TestFolder folder;
    const auto value = [](char version, int i) { return QString::number(i) + QString(200, QLatin1Char(version)); };
    QByteArray seed = "[ComSettings]\r\nDevAdr=1\r\n[Faults]\r\n";
    for (int i = 0; i < 100; ++i)
        seed += "K" + QByteArray::number(i) + "=" + value('A', i).toUtf8() + "\r\n";
    folder.write("setup.ini", seed);
    const IniFileHandler ini(folder.file("setup.ini"));
    std::mt19937 random(20240607);
    QByteArray previous = seed;
    int changes = 0;
    for (int round = 0; round < 100 || (changes == 0 && round < 150); ++round) { // (a slow disk or build: longer rounds)
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        for (char version = 'B'; writer == 0; version = char('A' + 'B' - version)) // the writer, until it is killed
            for (int i = 0; i < 100; ++i)
                ini.WriteIni("Faults", "K" + QString::number(i), value(version, i));
        QThread::usleep(std::uniform_int_distribution<unsigned>(0, round < 100 ? 20000 : 500000)(random));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        const QByteArray content = folder.read("setup.ini");
        ASSERT_TRUE(content.startsWith("[ComSettings]\r\nDevAdr=1\r\n[Faults]\r\n") && content.count('\n') == seed.count('\n')) << round;
        for (int i = 0; i < 100; ++i) {
            const QString v = IniLookup(content, u"Faults", QStringLiteral("K%1").arg(i)).value_or("");
            ASSERT_TRUE(v == value('A', i) || v == value('B', i)) << "round " << round << " key " << i;
        }
        changes += content != std::exchange(previous, content);
    }
    EXPECT_GT(changes, 0); // writes did complete between the kills (how many depends on the machine's load)
    for (const QString& name : entries(folder))
        EXPECT_TRUE(name == "setup.ini" || name.startsWith("setup.ini.")) << name.toStdString();
    EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "9")); // leftovers neither block nor mislead the next write
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "9");
}

TEST(SettingsFaults, LockFilesLeftByTheDeadAreTakenOverAndALiveHoldersNever)
{
    const pid_t gone = ::fork(); // a lock file as this machine writes them, of a process that has ended
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    TestFolder probe;
    QByteArray deadLock;
    {
        QLockFile lock(probe.file("probe.lock"));
        ASSERT_TRUE(lock.tryLock(0));
        deadLock = probe.read("probe.lock");
    }
    deadLock = QByteArray::number(gone) + deadLock.mid(deadLock.indexOf('\n'));
    const struct {
        QList<QByteArray> levels; // setup.ini.lock, then its .rmlock, ...
        int ageSeconds;           // of the last level
    } cases[] = {
        {{""}, 60},                                  // killed between creating it and writing its id
        {{""}, 0},                                   // just left: taken over within the write's wait
        {{deadLock, deadLock, deadLock, ""}, 5},     // died while clearing a dead writer's lock, level by level
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
    QElapsedTimer clock;
    clock.start();
    const SettingsLock first(folder.file("setup.ini"), 600);
    EXPECT_FALSE(first.IsLocked());
    EXPECT_TRUE(first.Why().startsWith(folder.file("setup.ini.lock") + QStringLiteral(" is held by process %1 (").arg(::getpid())));
    clock.restart();
    const SettingsLock again(folder.file("setup.ini"), 600); // a holder that kept this program waiting is not waited for again
    EXPECT_LT(clock.elapsed(), 300);
    EXPECT_TRUE(again.Why().startsWith(first.Why().section(" (waited", 0, 0))) << again.Why().toStdString();
}

TEST(SettingsFaults, ASettingsFolderThatTakesNoWriteNeverCostsAUnitOrTheFile)
{
    TestFolder settings, work;
    QByteArray before = "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n[Velmsettings]\r\nSerial=1000\r\n[Pad]\r\n";
    for (int i = 0; i < 20; ++i) // more than 1 KiB, so that a full disk stops it
        before += "Pad" + QByteArray::number(i) + "=" + QByteArray(100, 'p') + "\r\n";
    const sim::Image image = sim::MakeImage({.blockCount = 2, .bytesPerBlock = 512});
    work.write("module.ldr", image.hex);
    enum Fault { ReadOnly, FullDisk };
    const struct {
        Fault fault;
        const char* device;
        int exitCode;
        const char* why; // "" for a success
    } cases[] = {
        {ReadOnly, "amplifier", 0, ""},
        {ReadOnly, "fixture", 1, "cannot be locked"},
        {FullDisk, "amplifier", 0, ""},
        {FullDisk, "fixture", 1, "setup.ini cannot be written (a full disk"},
    };
    for (const auto& c : cases) {
        settings.write("setup.ini", before);
        if (c.fault == ReadOnly && !setReadOnly(settings.path(), true))
            continue; // no way to make a folder read-only for this user here
        const QString dump = work.file(QStringLiteral("dump-%1-%2").arg(c.fault).arg(c.device));
        Simulator sim({"--device", c.device, "--dump", dump});
        CliRun run({"--config-dir", settings.path(), "--port", sim.TerminalPath(), "--quiet", "--reply-timeout", "2",
                    work.file("module.ldr")},
                   c.fault == FullDisk ? FileSizeLimit(1024) : std::function<void()>{});
        const CliResult r = run.Finish();
        sim.Stop();
        setReadOnly(settings.path(), false);
        ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
        EXPECT_EQ(r.exitCode, c.exitCode) << c.fault << c.device << r.errText().toStdString();
        EXPECT_TRUE(r.why().contains(c.why)) << r.why().toStdString();
        if (QByteArray(c.device) == "amplifier") {
            EXPECT_EQ(DumpedBlock(dump, 1), image.blocks.at(1)) << c.fault;
        } else { // found before boot mode: nothing of the image was sent
            EXPECT_EQ(r.outLines(), QStringList({"Init", "Fixtur found", "Fault"})) << c.fault;
            EXPECT_EQ(DumpedSerialNumber(dump), -1) << "a serial number was given out";
        }
        EXPECT_EQ(settings.read("setup.ini"), before) << c.fault; // whole, unchanged
        // The unit's record: kept where the folder takes it, else said; the outcome stays.
        const QStringList kept = c.fault == ReadOnly ? QStringList{"setup.ini"} : QStringList{"runs.csv", "setup.ini"};
        EXPECT_EQ(entries(settings), kept) << c.fault;
        EXPECT_EQ(r.errText().contains("the record of this run cannot be kept"), c.fault == ReadOnly) << c.fault;
    }
}
