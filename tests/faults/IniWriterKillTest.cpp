// setup.ini written by a program that is killed mid-write, hundreds of
// times: the file must always be one complete result of one write, and
// whatever a killed writer leaves behind (a temporary file, its lock file,
// an empty lock file) must not stop or mislead the next one.
#include "CliProcesses.h"
#include "IniFileHandler.h"
#include "IniText.h"
#include "IniVersions.h"
#include "SettingsLock.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLockFile>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>
#include <random>
#include <thread>

using namespace vlboot;
using namespace vlboot::faults;

namespace {

// Kills: Rounds, or as many as fit into BudgetMs where a round is slow (a
// sanitizer build), but never fewer than MinRounds.
constexpr int Rounds = 300;
constexpr int MinRounds = 100;
constexpr qint64 BudgetMs = 15000;
constexpr int GuardMs = 20000;

// The file before the first writer: other settings, then every key of
// version A.
QByteArray seedContent()
{
    QByteArray content = "[ComSettings]\r\nDevAdr=1\r\nComPort=3\r\nComSpeed=57600\r\n";
    for (int i = 0; i < KeyCount; ++i)
        content = IniStore(content, VersionSection(), KeyName(i), VersionValue('A', i));
    return content;
}

// Every complete file the writer can leave, by its position in the
// writer's cycle: position 0 is all A; positions 1..100 have keys
// [0, position) of version B and the rest A; positions 101..199 have keys
// [0, position - 100) back at A and the rest B. Each follows from the one
// before by one WriteIni step.
class WriterFiles {
public:
    explicit WriterFiles(const QByteArray& seed)
    {
        files_.push_back(seed);
        for (int p = 1; p < Cycle; ++p) {
            const int key = (p - 1) % KeyCount;
            const QChar version = p <= KeyCount ? QChar('B') : QChar('A');
            files_.push_back(IniStore(files_.back(), VersionSection(), KeyName(key), VersionValue(version, key)));
        }
        for (int p = 0; p < Cycle; ++p)
            positions_.insert(files_[p], p);
    }

    // The position of a complete file; -1 for anything else.
    int positionOf(const QByteArray& content) const { return positions_.value(content, -1); }

    static constexpr int Cycle = 2 * KeyCount;

private:
    std::vector<QByteArray> files_;
    QHash<QByteArray, int> positions_;
};

// The keys that are missing or hold neither version's value ("" for none).
std::string brokenKeys(const QByteArray& content)
{
    std::string broken;
    for (int i = 0; i < KeyCount; ++i) {
        const auto value = IniLookup(content, VersionSection(), KeyName(i));
        if (!value || VersionOf(*value, i).isNull())
            broken += " " + KeyName(i).toStdString();
    }
    return broken;
}

// The lock files in the folder with their content, for a failure message.
std::string lockFiles(const vlboot::test::TestFolder& folder)
{
    std::string text = "lock files:";
    for (const QString& name : QDir(folder.path()).entryList({"*.lock", "*.rmlock"}, QDir::Files | QDir::Hidden))
        text += "\n  " + name.toStdString() + ": " + folder.read(name).toStdString();
    return text;
}

} // namespace

TEST(SettingsFileCrash, WriterKilledMidWriteLeavesOneCompleteFile)
{
    vlboot::test::TestFolder folder;
    const QByteArray seed = seedContent();
    folder.write("setup.ini", seed);
    WriterFiles files(seed);
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> delayMs(0, 20);

    int previous = 0;
    int writesSeen = 0;
    int round = 0;
    QElapsedTimer spent;
    spent.start();
    for (; round < Rounds && (round < MinRounds || spent.elapsed() < BudgetMs); ++round) {
        QProcess writer;
        writer.start(cli::test::BinaryPath("ini_writer"), {folder.path()});
        ASSERT_TRUE(writer.waitForStarted(GuardMs));
        while (!writer.canReadLine() && writer.waitForReadyRead(GuardMs)) {
        }
        ASSERT_EQ(writer.readLine(), "ready\n") << "round " << round << ": " << writer.readAllStandardError().toStdString();
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(GuardMs));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit)
            << "round " << round << ": the writer stopped by itself: " << writer.readAllStandardError().toStdString();

        const QByteArray content = folder.read("setup.ini");
        const int position = files.positionOf(content);
        ASSERT_GE(position, 0) << "round " << round << ": setup.ini is no complete file; broken keys:"
                               << (brokenKeys(content).empty() ? " none (lines moved or changed)" : brokenKeys(content));
        writesSeen += (position - previous + WriterFiles::Cycle) % WriterFiles::Cycle;
        previous = position;
    }
    RecordProperty("kills", round);
    // The kills did land while the writer was busy writing.
    EXPECT_GT(writesSeen, round / 10);

    // Leftovers of killed writers are only ever files beside setup.ini, and
    // the next write neither waits for them for good nor reads them.
    for (const QString& name : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_TRUE(name == "setup.ini" || name.startsWith("setup.ini.")) << name.toStdString();
    const IniFileHandler ini(folder.file("setup.ini"));
    ASSERT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "9")) << lockFiles(folder);
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "9");
    EXPECT_EQ(ini.ReadIni("ComSettings", "ComSpeed", ""), "57600");
    EXPECT_EQ(brokenKeys(folder.read("setup.ini")), "");
}

// A writer killed (or refused by a full disk) between creating its lock file
// and writing its process id into it leaves a lock file without an owner.
struct OwnerlessLock : ::testing::TestWithParam<QByteArray> {};

TEST_P(OwnerlessLock, IsTakenOverOnceItIsClearlyAbandoned)
{
    vlboot::test::TestFolder folder;
    folder.write("setup.ini", "[ComSettings]\r\nDevAdr=1\r\n");
    folder.write("setup.ini.lock", GetParam());
    QFile lock(folder.file("setup.ini.lock"));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    lock.close();

    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "7"));
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "7");
    EXPECT_FALSE(folder.exists("setup.ini.lock"));
}

INSTANTIATE_TEST_SUITE_P(Faults, OwnerlessLock, ::testing::Values(QByteArray(), QByteArray("\n\n\n"), QByteArray("not a process\n")));

// Writers that died one after the other while clearing their predecessor's
// lock: the lock of a dead writer, the lock layer's removal lock
// ("setup.ini.lock.rmlock") of the next dead one, and so on; the last level
// left empty by a writer killed as it created it.
struct AbandonedRemovalLocks : ::testing::TestWithParam<int> {};

TEST_P(AbandonedRemovalLocks, AreTakenOverLevelByLevel)
{
    const int deadLevels = GetParam();
    vlboot::test::TestFolder folder;
    folder.write("setup.ini", "[ComSettings]\r\nDevAdr=1\r\n");
    QProcess gone;
    gone.start(cli::test::BinaryPath("ini_writer"), {});
    ASSERT_TRUE(gone.waitForStarted(GuardMs));
    const qint64 deadPid = gone.processId();
    ASSERT_GT(deadPid, 0);
    ASSERT_TRUE(gone.waitForFinished(GuardMs));
    // A lock file as this machine writes them, with the dead writer's id.
    QByteArray content;
    {
        QLockFile probe(folder.file("probe.lock"));
        ASSERT_TRUE(probe.tryLock(0));
        content = folder.read("probe.lock");
    }
    content = QByteArray::number(deadPid) + content.mid(content.indexOf('\n'));

    QString name = "setup.ini.lock";
    for (int level = 0; level < deadLevels; ++level, name += ".rmlock")
        folder.write(name, content);
    folder.write(name, QByteArray());
    QFile empty(folder.file(name));
    ASSERT_TRUE(empty.open(QIODevice::ReadWrite));
    ASSERT_TRUE(empty.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    empty.close();

    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "6")) << lockFiles(folder);
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "6");
}

INSTANTIATE_TEST_SUITE_P(Faults, AbandonedRemovalLocks, ::testing::Values(1, 2, 3));

TEST(OwnerlessLockJustLeft, IsTakenOverWithinTheWriteWait)
{
    vlboot::test::TestFolder folder;
    folder.write("setup.ini", "[ComSettings]\r\nDevAdr=1\r\n");
    folder.write("setup.ini.lock", QByteArray());

    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "8"));
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "8");
}

TEST(LiveLockHolder, IsNeverTakenOver)
{
    vlboot::test::TestFolder folder;
    QLockFile holder(folder.file("setup.ini.lock"));
    ASSERT_TRUE(holder.tryLock(0));
    QFile file(folder.file("setup.ini.lock"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    file.close();

    const SettingsLock lock(folder.file("setup.ini"), 600);
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_TRUE(folder.exists("setup.ini.lock"));
}
