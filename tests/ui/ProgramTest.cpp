// The vlboot program: its command line, and a start under the offscreen
// platform that writes setup.ini into the configuration folder.

#include "TestFiles.h"
#include "Version.h"
#include "WindowSetup.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

struct Result {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

// Runs vlboot to its end; the limit only guards against a hang.
Result RunProgram(const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    QProcessEnvironment e = env;
    p.setProcessEnvironment(e);
    p.start(QStringLiteral(VLBOOT_PROGRAM), arguments);
    Result r;
    if (!p.waitForStarted(30000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "vlboot did not finish";
        return r;
    }
    r.exitCode = p.exitCode();
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QProcessEnvironment Offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

TEST(VlbootProgram, VersionAndHelpNeedNoDisplay)
{
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        bare.remove(QLatin1String(name));

    const Result version = RunProgram({QStringLiteral("--version")}, bare);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("vlboot ") + VersionText + "\n");

    const Result help = RunProgram({QStringLiteral("--help")}, bare);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--config-dir <DIR>"));
    EXPECT_TRUE(help.out.contains("--version"));
    EXPECT_FALSE(help.out.contains("quit-after-startup"));
    TestFolder dir;
    const Result named = RunProgram({QStringLiteral("--config-dir"), dir.path(), QStringLiteral("--help")}, bare);
    EXPECT_TRUE(named.out.contains("Settings folder in use: " + dir.path().toUtf8() + " (named with --config-dir)"))
        << named.out.toStdString();

    // Without a display the window cannot be shown: said plainly, not a crash.
    const Result noDisplay = RunProgram({QStringLiteral("--config-dir"), dir.path()}, bare);
    EXPECT_EQ(noDisplay.exitCode, 69);
    EXPECT_FALSE(noDisplay.crashed);
    EXPECT_TRUE(noDisplay.err.contains("xvfb-run"));
    EXPECT_FALSE(dir.exists(QStringLiteral("setup.ini")));
}

TEST(VlbootProgram, BadCommandLinesGiveTheUsageAndCode64)
{
    const QStringList cases[] = {
        {QStringLiteral("--bogus")},
        {QStringLiteral("--config-dir")},
        {QStringLiteral("--config-dir"), QString()},
        {QStringLiteral("a.ldr"), QStringLiteral("b.ldr")},
    };
    for (const QStringList& args : cases) {
        const Result r = RunProgram(args, Offscreen());
        EXPECT_EQ(r.exitCode, 64) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Usage:")) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    }
}

TEST(VlbootProgram, StartsAndWritesSetupIniIntoTheConfigurationFolder)
{
    TestFolder dir;
    // Ports that do not exist, so that the port scan stays off real devices.
    dir.write(QStringLiteral("setup.ini"), PortsSection());
    const Result r = RunProgram(
        {QStringLiteral("--config-dir"), dir.path(), QStringLiteral("--quit-after-startup")}, Offscreen());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(dir.read(QStringLiteral("setup.ini")),
              PortsSection()
                  + "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n"
                    "[AmpCom]\r\nDebug=0\r\n"
                    "[Velmsettings]\r\nFirmwareFile=?\r\n");
    EXPECT_FALSE(dir.exists(QStringLiteral("Log.txt")));
}

TEST(VlbootProgram, ConfigurationFolderMustExist)
{
    TestFolder dir;
    dir.write(QStringLiteral("plain"), "not a folder");
    for (const QString& named : {dir.file(QStringLiteral("a/b")), dir.file(QStringLiteral("plain"))}) {
        const Result refused = RunProgram({QStringLiteral("--config-dir"), named, QStringLiteral("--quit-after-startup")},
                                          Offscreen());
        EXPECT_EQ(refused.exitCode, 64) << named.toStdString();
        EXPECT_TRUE(refused.err.contains("not an existing folder")) << refused.err.toStdString();
    }
    EXPECT_FALSE(dir.exists(QStringLiteral("a")));
    EXPECT_EQ(dir.read(QStringLiteral("plain")), "not a folder");
}

TEST(VlbootProgram, AFileArgumentIsRememberedAndAMissingOneRefused)
{
    TestFolder dir;
    dir.write(QStringLiteral("setup.ini"), PortsSection());
    dir.write(QStringLiteral("amp.ldr"), ":00000001FF\r\n");
    const QString file = dir.file(QStringLiteral("amp.ldr"));
    const Result r = RunProgram({QStringLiteral("--config-dir"), dir.path(), QStringLiteral("--quit-after-startup"), file},
                                Offscreen());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(dir.read(QStringLiteral("setup.ini")).contains("FirmwareFile=" + file.toUtf8() + "\r\n"));

    const Result missing = RunProgram({QStringLiteral("--config-dir"), dir.path(), file + "x"}, Offscreen());
    EXPECT_EQ(missing.exitCode, 66);
    EXPECT_TRUE(missing.err.contains("amp.ldrx is not a file"));
}
