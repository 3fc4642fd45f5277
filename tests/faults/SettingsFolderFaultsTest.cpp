// A settings folder that cannot take a write (read-only, or a full disk) and
// a Log.txt that cannot be written. Programming needs no settings write, so
// an amplifier is still programmed; a fixture run must not give out a serial
// number it cannot count; and setup.ini is never left damaged.
#include "FaultRuns.h"
#include "FirmwareImage.h"
#include "Settings.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::cli::test;
using namespace vlboot::faults;

namespace {

// Whether a new file can be made in `folder` (the probe is removed again).
bool takesNewFiles(const QString& folder)
{
    const QByteArray probe = QDir(folder).filePath(QStringLiteral(".probe")).toLocal8Bit();
    const int fd = ::open(probe.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

bool setImmutable(const QString& folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// A folder that refuses new files for as long as this lives: by its
// permissions, or, where they do not stop the test (root), by the file
// system's immutable flag.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path) : path_(std::move(path))
    {
        ::chmod(QFile::encodeName(path_).constData(), 0555);
        if (!takesNewFiles(path_))
            return;
        ::chmod(QFile::encodeName(path_).constData(), 0700);
        immutable_ = setImmutable(path_, true);
    }
    ~ReadOnlyFolder()
    {
        if (immutable_)
            setImmutable(path_, false);
        ::chmod(QFile::encodeName(path_).constData(), 0700);
    }
    bool Holds() const { return !takesNewFiles(path_); }

private:
    QString path_;
    bool immutable_ = false;
};

struct SettingsFolderFaults : ::testing::Test {
    vlboot::test::TestFolder settings; // setup.ini, Log.txt
    vlboot::test::TestFolder work;     // firmware, simulator dumps
    sim::Image image;
    QByteArray before;

    // Settings with a counter and padding (more than 1 KiB), without the
    // debug and firmware keys, which a run would add if it could.
    void SetUp() override
    {
        QByteArray ini = "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n[Velmsettings]\r\nSerial=1000\r\n[Pad]\r\n";
        for (int i = 0; i < 20; ++i)
            ini += "Pad" + QByteArray::number(i) + "=" + QByteArray(100, 'p') + "\r\n";
        settings.write("setup.ini", ini);
        before = ini;

        sim::ImageShape shape;
        shape.blockCount = 2;
        shape.bytesPerBlock = 512;
        image = sim::MakeImage(shape);
        work.write("module.ldr", image.hex);
    }

    // One run against a fresh simulator; its dump goes to work/`dump`.
    CliResult run(const char* device, const QString& dump, std::function<void()> childSetup = {},
                  const QStringList& more = {})
    {
        Simulator sim({"--device", device, "--dump", work.file(dump)});
        EXPECT_TRUE(sim.Started());
        CliRun cli(QStringList{"--config-dir", settings.path(), "--port", sim.TerminalPath(), "--reply-timeout", "2",
                               "--quiet", work.file("module.ldr")}
                       + more,
                   std::move(childSetup));
        const CliResult r = cli.Finish();
        sim.Stop();
        return r;
    }

    void expectAmplifierProgrammed(const QString& dump) const
    {
        for (const auto& [block, content] : image.blocks)
            EXPECT_EQ(ReadFileBytes(QDir(work.file(dump)).filePath(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0')))),
                      content)
                << "block " << block;
    }

    QStringList settingsEntries() const
    {
        return QDir(settings.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// The settings folder refuses new files (so no lock file and no new
// setup.ini) for as long as the run lasts.
struct ReadOnlySettings : SettingsFolderFaults {
    std::unique_ptr<ReadOnlyFolder> readOnly;

    void SetUp() override
    {
        SettingsFolderFaults::SetUp();
        readOnly = std::make_unique<ReadOnlyFolder>(settings.path());
        if (!readOnly->Holds())
            GTEST_SKIP() << "no way to make a folder read-only for this user here (no immutable flag)";
    }
};

} // namespace

TEST_F(ReadOnlySettings, AmplifierIsStillProgrammed)
{
    const CliResult r = run("amplifier", "dump");
    readOnly.reset();

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "Done with succes");
    expectAmplifierProgrammed("dump");
    EXPECT_EQ(settings.read("setup.ini"), before);
    EXPECT_EQ(settingsEntries(), QStringList{"setup.ini"});
}

TEST_F(ReadOnlySettings, FixtureGetsNoSerialNumber)
{
    const CliResult r = run("fixture", "dump");
    readOnly.reset();

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 1) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "Fault");
    EXPECT_TRUE(WhyLine(r).contains("cannot be locked")) << WhyLine(r).toStdString();
    EXPECT_EQ(SerialRecord(work.file("dump")), QByteArray(5, char(0xFF))) << "a serial number was given out";
    EXPECT_EQ(settings.read("setup.ini"), before);
    EXPECT_EQ(settingsEntries(), QStringList{"setup.ini"});
}

// A full disk: small files (the settings lock, the port lock) still fit,
// setup.ini's new version does not (the limit is below its size), so every
// settings write fails at its end. The old file must stay whole, and no
// half-written file may remain.
TEST_F(SettingsFolderFaults, FullDiskLeavesSetupIniWholeOnAnAmplifierRun)
{
    ASSERT_GT(before.size(), 1024);
    const CliResult r = run("amplifier", "dump", FileSizeLimit(1024));

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "Done with succes");
    expectAmplifierProgrammed("dump");
    EXPECT_EQ(settings.read("setup.ini"), before);
    EXPECT_EQ(settingsEntries(), QStringList{"setup.ini"});
}

// The counter cannot move on: the number is not given out, nothing goes into
// the fixture, and the counter still shows the number for the next run.
TEST_F(SettingsFolderFaults, FullDiskFailsAFixtureRunWhoseCounterCannotBeStored)
{
    const CliResult r = run("fixture", "dump", FileSizeLimit(1024));

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 1) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "Fault");
    EXPECT_TRUE(WhyLine(r).contains("1001 cannot be stored")) << WhyLine(r).toStdString();
    EXPECT_EQ(SerialNumberIn(SerialRecord(work.file("dump"))), -1);
    EXPECT_EQ(settings.read("setup.ini"), before);
    EXPECT_EQ(settingsEntries(), QStringList{"setup.ini"});
}

namespace {

struct UnwritableLog : SettingsFolderFaults, ::testing::WithParamInterface<bool> {};

} // namespace

// Log.txt is a folder, which no one can open as a file. The traffic log is
// switched on by --log or by the debug code in setup.ini.
TEST_P(UnwritableLog, RunStillSucceeds)
{
    const bool byOption = GetParam();
    ASSERT_TRUE(QDir(settings.path()).mkdir("Log.txt"));
    if (!byOption)
        settings.write("setup.ini", before + "[AmpCom]\r\nDebug=" + QByteArray::number(Settings::DebugCode) + "\r\n");
    const CliResult r = run("amplifier", "dump", {}, byOption ? QStringList{"--log"} : QStringList{});

    ASSERT_TRUE(r.finished) << "vlboot-cli crashed or hung";
    EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(LastCaption(r), "Done with succes");
    expectAmplifierProgrammed("dump");
    EXPECT_TRUE(QFileInfo(settings.file("Log.txt")).isDir());
    EXPECT_TRUE(QDir(settings.file("Log.txt")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Faults, UnwritableLog, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "LogOption" : "DebugCode"; });
