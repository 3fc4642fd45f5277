#include "Settings.h"
#include "SettingsLock.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

namespace {

struct Marks {
    int port = -1;
    int speed = -1;
};

void watch(Settings& s, Marks& m)
{
    s.OnComPortSelected = [&m](int p) { m.port = p; };
    s.OnComSpeedSelected = [&m](int i) { m.speed = i; };
}

// The start-up reading of the settings, in its order.
void startUp(Settings& s)
{
    s.ReadComSettings();
    s.ReadDebugSetting();
    s.ReadFirmwareFile();
}

} // namespace

TEST(StartupSettings, MissingFileBecomesTheFiveDefaults)
{
    TestFolder dir;
    Settings s(dir.path());
    Marks m;
    watch(s, m);
    startUp(s);
    EXPECT_EQ(dir.read("setup.ini"),
              "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n"
              "[AmpCom]\r\nDebug=0\r\n"
              "[Velmsettings]\r\nFirmwareFile=?\r\n");
    EXPECT_EQ(m.port, 1);
    EXPECT_EQ(m.speed, 0);
    EXPECT_EQ(s.ReadFirmwareFile(), "?");
}

TEST(StartupSettings, SpeedTextsOtherThanTheTwoFastOnesSelect9600)
{
    const struct {
        const char* stored;
        int index;
        const char* written;
    } cases[] = {{"115000", 0, "9600"}, {"115200", 2, "115200"}, {"57600", 1, "57600"}, {"fast", 0, "9600"}, {"115200 baud", 2, "115200"}};
    for (const auto& c : cases) {
        TestFolder dir;
        dir.write("setup.ini", QByteArray("[ComSettings]\r\nComSpeed=") + c.stored + "\r\n");
        Settings s(dir.path());
        Marks m;
        watch(s, m);
        s.ReadComSettings();
        EXPECT_EQ(m.speed, c.index) << c.stored;
        EXPECT_EQ(s.ComSpeed, c.index) << c.stored;
        EXPECT_TRUE(dir.read("setup.ini").contains(QByteArray("ComSpeed=") + c.written + "\r\n")) << c.stored;
    }
}

TEST(StartupSettings, BadPortNumbersSelectCom1AndAreWrittenBackAsRead)
{
    const struct {
        const char* stored;
        int used;
        const char* written;
    } cases[] = {{"0", 1, "0"}, {"abc", 1, "0"}, {"17", 1, "17"}, {"7", 7, "7"}, {"2.5", 2, "2"}, {"3.5", 4, "4"}, {"-2", 1, "-2"}, {"16", 16, "16"}};
    for (const auto& c : cases) {
        TestFolder dir;
        dir.write("setup.ini", QByteArray("[ComSettings]\r\nComPort=") + c.stored + "\r\n");
        Settings s(dir.path());
        Marks m;
        watch(s, m);
        s.ReadComSettings();
        EXPECT_EQ(m.port, c.used) << c.stored;
        EXPECT_EQ(s.ComPort, c.used) << c.stored;
        EXPECT_TRUE(dir.read("setup.ini").contains(QByteArray("ComPort=") + c.written + "\r\n")) << c.stored;
    }
}

TEST(StartupSettings, EmptyAddressBecomesOneAndTypedAddressIsKept)
{
    TestFolder dir;
    dir.write("setup.ini", "[ComSettings]\r\nDevAdr=\r\n");
    Settings s(dir.path());
    s.ReadComSettings();
    EXPECT_EQ(s.DevAdr, "1");
    EXPECT_TRUE(dir.read("setup.ini").contains("DevAdr=1\r\n"));

    TestFolder other;
    other.write("setup.ini", "[ComSettings]\r\nDevAdr=12abc\r\n");
    Settings t(other.path());
    t.ReadComSettings();
    EXPECT_EQ(t.DevAdr, "12abc");
}

TEST(StartupSettings, OnlyTheDebugCodeSwitchesDiagnosticsOn)
{
    const struct {
        const char* stored;
        bool on;
    } cases[] = {{"0", false}, {"73", true}, {" 73 ", true}, {"73.0", true}, {"73abc", false}, {"debug", false}, {"74", false}};
    for (const auto& c : cases) {
        TestFolder dir;
        dir.write("setup.ini", QByteArray("[AmpCom]\r\nDebug=") + c.stored + "\r\n");
        Settings s(dir.path());
        EXPECT_EQ(s.ReadDebugSetting(), c.on) << c.stored;
    }
}

TEST(SelectComPort, StoresTheNumberAsAskedAndMarksThePortUsed)
{
    TestFolder dir;
    Settings s(dir.path());
    Marks m;
    watch(s, m);
    s.SelectComPort(5);
    s.SelectComPort(3);
    EXPECT_EQ(m.port, 3);
    EXPECT_EQ(s.ComPort, 3);
    EXPECT_TRUE(dir.read("setup.ini").contains("ComPort=3\r\n"));
    s.SelectComSpeed(2);
    EXPECT_TRUE(dir.read("setup.ini").contains("ComSpeed=115200\r\n"));
    s.SelectComSpeed(7);
    EXPECT_EQ(m.speed, 0);
    EXPECT_EQ(s.ComSpeed, 0);
}

TEST(SettingsLock, CanBeTakenAgainWhileHeldAndIsReleasedByTheOutermostHolder)
{
    TestFolder dir;
    const QString ini = dir.file("setup.ini");
    {
        SettingsLock outer(ini, 100);
        ASSERT_TRUE(outer.IsLocked());
        {
            SettingsLock inner(ini, 100);
            EXPECT_TRUE(inner.IsLocked());
        }
        EXPECT_TRUE(dir.exists("setup.ini.lock"));
    }
    EXPECT_FALSE(dir.exists("setup.ini.lock"));
}

TEST(SettingsLock, FolderWithoutWriteAccessCannotBeLocked)
{
    SettingsLock lock("/nonexistent-folder-of-vlboot/setup.ini", 50);
    EXPECT_FALSE(lock.IsLocked());
}
