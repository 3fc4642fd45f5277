#include "CliSettings.h"

#include "CommandTable.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::cli;

namespace {

// As the settings file writes it (CR LF), so that rewriting a value as it
// was leaves the file byte for byte the same.
const QByteArray Stored = "[ComSettings]\r\nDevAdr=4\r\nComPort=3\r\nComSpeed=57600\r\n"
                          "[AmpCom]\r\nDebug=0\r\n[Velmsettings]\r\nFirmwareFile=/fw/module.ldr\r\nSerial=1000\r\n"
                          "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n";

CliOptions overrides()
{
    CliOptions o;
    o.comPort = 12;
    o.speedIndex = 2;
    o.address = QStringLiteral("9");
    return o;
}

} // namespace

TEST(CliSettings, OverridesReachMemoryButNotTheFile)
{
    test::TestFolder folder;
    folder.write("setup.ini", Stored);
    Settings settings(folder.path());
    ReadStartupSettings(settings, overrides());

    EXPECT_EQ(settings.ComPort, 12);
    EXPECT_EQ(settings.ComSpeed, 2);
    EXPECT_EQ(settings.DevAdr, "9");
    EXPECT_EQ(folder.read("setup.ini"), Stored);
}

TEST(CliSettings, WithoutOverridesTheStoredSettingsAreUsed)
{
    test::TestFolder folder;
    folder.write("setup.ini", Stored);
    Settings settings(folder.path());
    const StartupSettings startup = ReadStartupSettings(settings, CliOptions{});
    EXPECT_EQ(settings.ComPort, 3);
    EXPECT_EQ(settings.ComSpeed, 1);
    EXPECT_EQ(settings.DevAdr, "4");
    EXPECT_EQ(startup.firmwareFile, "/fw/module.ldr");
    EXPECT_FALSE(startup.log);
    // The start-up reading fills the command table as the window's does.
    EXPECT_EQ(RSfunctions::CommandTable()[RSfunctions::SFOcommand].Code, 0xF8);
}

TEST(CliSettings, MissingSettingsAreWrittenWithTheirDefaultsButNoPorts)
{
    test::TestFolder folder;
    Settings settings(folder.path());
    CliOptions options = overrides();
    options.firmwareFile = QStringLiteral("given.ldr");
    const StartupSettings startup = ReadStartupSettings(settings, options);

    const QString ini = QString::fromUtf8(folder.read("setup.ini"));
    for (const char* line : {"DevAdr=1", "ComPort=1", "ComSpeed=9600", "Debug=0", "FirmwareFile=?"})
        EXPECT_TRUE(ini.contains(QLatin1String(line))) << line << "\n" << ini.toStdString();
    EXPECT_FALSE(ini.contains("Ports"));
    EXPECT_FALSE(ini.contains("Serial"));
    EXPECT_EQ(startup.firmwareFile, "given.ldr");
}

TEST(CliSettings, DebugCodeOrLogOptionSwitchesTheLogOn)
{
    test::TestFolder folder;
    folder.write("setup.ini", QStringLiteral("[AmpCom]\nDebug=%1\n").arg(Settings::DebugCode).toUtf8());
    Settings debug(folder.path());
    EXPECT_TRUE(ReadStartupSettings(debug, CliOptions{}).log);

    test::TestFolder plain;
    Settings settings(plain.path());
    CliOptions options;
    options.log = true;
    EXPECT_TRUE(ReadStartupSettings(settings, options).log);
}
