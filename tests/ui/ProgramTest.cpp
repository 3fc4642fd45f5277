// The vlboot program: its command line, and starts under the offscreen
// platform that write setup.ini into the configuration folder.
#include "TestFiles.h"
#include "Version.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out, err;
};

Result runVlboot(const QStringList& arguments, bool display = true)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VLBOOT_PROGRAM), arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        ADD_FAILURE() << "vlboot did not end by itself";
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

TEST(VlbootProgram, CommandLineAndAStartThatWritesSetupIniAndTakesAFileArgument)
{
    EXPECT_EQ(runVlboot({"--version"}, false).out, QByteArray("vlboot ") + VersionText + "\n"); // no display needed
    TestFolder dir;
    const Result help = runVlboot({"--config-dir", dir.path(), "--help"}, false);
    EXPECT_TRUE(help.out.contains("Settings folder in use: " + dir.path().toUtf8() + " (named with --config-dir)"));
    dir.write("plain", "not a folder");
    const std::pair<QStringList, int> refused[] = {{{"--bogus"}, 64}, {{"--config-dir", ""}, 64}, {{"a.ldr", "b.ldr"}, 64},
                                                   {{"--config-dir", dir.file("a/b")}, 64}, {{"--config-dir", dir.file("plain")}, 64},
                                                   {{"--config-dir", dir.path(), dir.file("missing.ldr")}, 66}};
    for (const auto& [args, status] : refused)
        EXPECT_EQ(runVlboot(args + QStringList{"--quit-after-startup"}).exitCode, status) << args.join(' ').toStdString();
    EXPECT_FALSE(dir.exists("a"));
    const Result noDisplay = runVlboot({"--config-dir", dir.path()}, false); // said plainly, not a crash
    EXPECT_EQ(noDisplay.exitCode, 69);
    EXPECT_TRUE(noDisplay.err.contains("xvfb-run"));
    EXPECT_FALSE(dir.exists("setup.ini"));

    // A start writes the defaults and takes a file argument as if it had been chosen with Browse.
    QByteArray ports = "[Ports]\r\n"; // devices that do not exist: the port scan stays off real ones
    for (int n = 1; n <= 16; ++n)
        ports += "COM" + QByteArray::number(n) + "=/nonexistent/tty\r\n";
    dir.write("setup.ini", ports);
    dir.write("amp.ldr", ":00000001FF\r\n");
    EXPECT_EQ(runVlboot({"--config-dir", dir.path(), "--quit-after-startup", dir.file("amp.ldr")}).exitCode, 0);
    EXPECT_EQ(dir.read("setup.ini"), ports + "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n"
                                             "[AmpCom]\r\nDebug=0\r\n[Velmsettings]\r\nFirmwareFile="
                                             + dir.file("amp.ldr").toUtf8() + "\r\n");
}
