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
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <thread>

using namespace vlboot;
using namespace vlboot::faults;

namespace {

constexpr int Rounds = 300;
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

// Where the writer stands: keys [0, boundary) of version `first`, the rest
// of the other version (boundary == KeyCount: all of `first`).
struct WriterState {
    QChar first;
    int boundary = 0;
    // Writes since the file was all A: the writer turns A to B key by key,
    // then B to A.
    int position() const
    {
        if (first == QLatin1Char('B'))
            return boundary;
        return boundary == KeyCount ? 0 : KeyCount + boundary;
    }
};

std::optional<WriterState> stateOf(const QByteArray& content)
{
    WriterState s;
    for (int i = 0; i < KeyCount; ++i) {
        const auto value = IniLookup(content, VersionSection(), KeyName(i));
        const QChar v = value ? VersionOf(*value, i) : QChar();
        if (v.isNull())
            return std::nullopt;
        if (i == 0)
            s.first = v;
        if (v == s.first && s.boundary == i)
            s.boundary = i + 1;
        else if (v == s.first)
            return std::nullopt; // a key of the first version after the boundary
    }
    return s;
}

// The complete file the writer produces for each state, made once per
// state (by position).
class WriterFiles {
public:
    explicit WriterFiles(QByteArray seed) : seed_(std::move(seed)) {}

    const QByteArray& of(const WriterState& s)
    {
        auto [it, made] = files_.try_emplace(s.position());
        if (made) {
            QByteArray content = seed_;
            for (int i = 0; i < KeyCount; ++i)
                content = IniStore(content, VersionSection(), KeyName(i),
                                   VersionValue(i < s.boundary ? s.first : OtherVersion(s.first), i));
            it->second = content;
        }
        return it->second;
    }

private:
    QByteArray seed_;
    std::map<int, QByteArray> files_;
};

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
    for (int round = 0; round < Rounds; ++round) {
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
        const auto state = stateOf(content);
        ASSERT_TRUE(state) << "round " << round << ": setup.ini is no complete version:\n" << content.toStdString();
        ASSERT_EQ(content, files.of(*state)) << "round " << round;
        writesSeen += (state->position() - previous + 2 * KeyCount) % (2 * KeyCount);
        previous = state->position();
    }
    // The kills did land while the writer was busy writing.
    EXPECT_GT(writesSeen, Rounds / 10);

    // Leftovers of killed writers are only ever files beside setup.ini, and
    // the next write neither waits for them for good nor reads them.
    for (const QString& name : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
        EXPECT_TRUE(name == "setup.ini" || name.startsWith("setup.ini.")) << name.toStdString();
    const IniFileHandler ini(folder.file("setup.ini"));
    ASSERT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "9"))
        << "lock file left: " << folder.read("setup.ini.lock").toHex(' ').toStdString();
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "9");
    EXPECT_EQ(ini.ReadIni("ComSettings", "ComSpeed", ""), "57600");
    EXPECT_TRUE(stateOf(folder.read("setup.ini")));
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

// A lock of a writer that died while holding it, and the lock layer's own
// lock for removing it ("setup.ini.lock.rmlock") left empty by a writer
// killed while it was clearing that stale lock in its turn.
TEST(AbandonedRemovalLock, IsTakenOverToo)
{
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
    folder.write("setup.ini.lock", content);
    folder.write("setup.ini.lock.rmlock", QByteArray());
    QFile rmlock(folder.file("setup.ini.lock.rmlock"));
    ASSERT_TRUE(rmlock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(rmlock.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    rmlock.close();

    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_TRUE(ini.WriteIni("ComSettings", "DevAdr", "6"));
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", ""), "6");
}

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
