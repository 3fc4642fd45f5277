// The window's start-up: settings, check marks, port scan, traffic window,
// file box, status line, size, and the window's controls and menus.

#include "Pty.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "TrafficWindow.h"
#include "Twips.h"
#include "VLboot.h"
#include "WindowSetup.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

// The numbers of the checked port items, and of the visible ones.
std::vector<int> CheckedPorts(const VLboot& w)
{
    std::vector<int> ports;
    for (int n = 1; n <= 16; ++n)
        if (w.COM[n]->isChecked())
            ports.push_back(n);
    return ports;
}

std::vector<int> VisiblePorts(const VLboot& w)
{
    std::vector<int> ports;
    for (int n = 1; n <= 16; ++n)
        if (w.COM[n]->isVisible())
            ports.push_back(n);
    return ports;
}

std::vector<int> CheckedSpeeds(const VLboot& w)
{
    std::vector<int> speeds;
    for (int i = 0; i < 3; ++i)
        if (w.Speed[i]->isChecked())
            speeds.push_back(i);
    return speeds;
}

} // namespace

TEST(WindowStartup, MissingSetupIniStartsWithTheFiveDefaults)
{
    TestFolder dir;
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);

    EXPECT_EQ(dir.read("setup.ini"),
              "[ComSettings]\r\nDevAdr=1\r\nComPort=1\r\nComSpeed=9600\r\n"
              "[AmpCom]\r\nDebug=0\r\n"
              "[Velmsettings]\r\nFirmwareFile=?\r\n");
    EXPECT_EQ(CheckedPorts(w), std::vector<int>{1});
    EXPECT_EQ(CheckedSpeeds(w), std::vector<int>{0});
    EXPECT_EQ(w.TxtVelmfile->text(), "?");
    EXPECT_EQ(w.LblStatusText->text(), "Please select...");
    EXPECT_EQ(w.ProgressBar->value(), 0);
    EXPECT_EQ(w.Device().ReplyTimeout, 12);
    EXPECT_EQ(w.settings().DevAdr, "1");
    ASSERT_NE(w.Traffic(), nullptr);
    EXPECT_FALSE(w.Traffic()->isVisible());
    EXPECT_FALSE(dir.exists("Log.txt"));
    // Start-up says nothing and leaves the port closed.
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(w.link().IsOpen());
}

TEST(WindowStartup, StoredPortAndSpeedAreMarkedAndBadOnesFallBack)
{
    const struct {
        const char* stored;
        int port;
        int speed;
        const char* rewritten;
    } cases[] = {
        {"ComPort=5\r\nComSpeed=57600", 5, 1, "ComPort=5\r\nComSpeed=57600"},
        {"ComPort=16\r\nComSpeed=115200", 16, 2, "ComPort=16\r\nComSpeed=115200"},
        {"ComPort=3\r\nComSpeed=115000", 3, 0, "ComPort=3\r\nComSpeed=9600"},
        {"ComPort=0\r\nComSpeed=9600", 1, 0, "ComPort=0\r\n"},
        {"ComPort=abc\r\nComSpeed=9600", 1, 0, "ComPort=0\r\n"},
        {"ComPort=17\r\nComSpeed=fast", 1, 0, "ComPort=17\r\nComSpeed=9600"},
    };
    for (const auto& c : cases) {
        TestFolder dir;
        WriteSetup(dir, QByteArray("[ComSettings]\r\n") + c.stored + "\r\n");
        ScriptedDialogs dialogs;
        VLboot w(dir.path(), dialogs);
        EXPECT_EQ(CheckedPorts(w), std::vector<int>{c.port}) << c.stored;
        EXPECT_EQ(CheckedSpeeds(w), std::vector<int>{c.speed}) << c.stored;
        EXPECT_EQ(w.settings().ComPort, c.port) << c.stored;
        EXPECT_EQ(w.settings().ComSpeed, c.speed) << c.stored;
        EXPECT_TRUE(dir.read("setup.ini").contains(c.rewritten)) << c.stored;
    }
}

TEST(WindowStartup, SelectedPortThatCannotBeOpenedIsHiddenButKeepsItsMark)
{
    TestFolder dir;
    WriteSetup(dir, "[ComSettings]\r\nComPort=7\r\n");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    EXPECT_TRUE(VisiblePorts(w).empty());
    EXPECT_EQ(CheckedPorts(w), std::vector<int>{7});
    EXPECT_EQ(w.settings().ComPort, 7);
}

TEST(WindowStartup, PortScanShowsExactlyThePortsThatOpen)
{
    PtyPair second;
    PtyPair fifth;
    ASSERT_TRUE(second.isValid());
    ASSERT_TRUE(fifth.isValid());
    TestFolder dir;
    WriteSetup(dir, "[ComSettings]\r\nComPort=5\r\n", {{2, second.slavePath()}, {5, fifth.slavePath()}});
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);

    EXPECT_EQ(VisiblePorts(w), (std::vector<int>{2, 5}));
    // Each item names the device it stands for.
    EXPECT_EQ(w.COM[2]->toolTip(), second.slavePath());
    EXPECT_EQ(w.COM[5]->toolTip(), fifth.slavePath());
    EXPECT_EQ(w.COM[9]->toolTip(), "/nonexistent/vlboot-tty9");
    // The probes leave the port closed and put nothing on either line.
    EXPECT_FALSE(w.link().IsOpen());
    EXPECT_TRUE(second.readAvailable(0).isEmpty());
    EXPECT_TRUE(fifth.readAvailable(0).isEmpty());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST(WindowStartup, OnlyTheDebugCodeShowsTheTrafficWindowAndStartsTheLog)
{
    const struct {
        const char* debug;
        bool shown;
    } cases[] = {{"0", false}, {"abc", false}, {"73x", false}, {"72", false}, {"730", false}, {"73", true}, {" 73 ", true}};
    for (const auto& c : cases) {
        TestFolder dir;
        WriteSetup(dir, QByteArray("[AmpCom]\r\nDebug=") + c.debug + "\r\n");
        ScriptedDialogs dialogs;
        VLboot w(dir.path(), dialogs);
        ASSERT_NE(w.Traffic(), nullptr);
        EXPECT_EQ(w.Traffic()->isVisible(), c.shown) << c.debug;
        EXPECT_EQ(w.Traffic()->parent(), &w) << c.debug;
        EXPECT_EQ(w.link().Log.LogOn, c.shown) << c.debug;
        EXPECT_EQ(dir.exists("Log.txt"), c.shown) << c.debug;
        const auto* tick = w.Traffic()->findChild<QCheckBox*>(QStringLiteral("ChkLog"));
        ASSERT_NE(tick, nullptr);
        EXPECT_EQ(tick->isChecked(), c.shown) << c.debug;
    }
}

TEST(WindowStartup, RememberedFirmwareFileIsShownAsStored)
{
    TestFolder dir;
    WriteSetup(dir, "[Velmsettings]\r\nFirmwareFile=C:\\fw\\amp 1.ldr\r\n");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    EXPECT_EQ(w.TxtVelmfile->text(), "C:\\fw\\amp 1.ldr");
}

TEST(WindowLayout, ControlsAndMenusFitTheFixedWindowUnderTheirNames)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    w.show(); // the client area gets its size from the window

    EXPECT_EQ(w.objectName(), "VLboot");
    EXPECT_EQ(w.windowTitle(), "Velmora Bootloader");
    EXPECT_EQ(w.size(), QSize(TwipsToPixels(11295, w.logicalDpiX()), TwipsToPixels(4810, w.logicalDpiY())));
    // Every control is found by its name and lies wholly inside its frame,
    // and the frames inside the window's client area.
    const char* inFrame1[] = {"LblVelm", "TxtVelmfile", "BtnVelmbrowse"};
    const char* inFrame3[] = {"LblStatusText", "BtnStart", "LblStatus", "ProgressBar"};
    auto fits = [&w](const char* name, const QWidget* container) {
        const auto* c = w.findChild<QWidget*>(QLatin1String(name));
        return c && c->parentWidget() == container && container->rect().contains(c->geometry());
    };
    EXPECT_TRUE(fits("Frame1", w.centralWidget()));
    EXPECT_TRUE(fits("Frame3", w.centralWidget()));
    for (const char* name : inFrame1)
        EXPECT_TRUE(fits(name, w.Frame1)) << name;
    for (const char* name : inFrame3)
        EXPECT_TRUE(fits(name, w.Frame3)) << name;
    EXPECT_EQ(w.LblStatusText->font().pointSize(), 12);
    EXPECT_EQ(w.LblStatusText->font().styleHint(), QFont::SansSerif);
    EXPECT_EQ(w.ProgressBar->maximum(), 100);

    // The menu captions as the technician knows them, spelling included.
    QStringList top;
    for (QAction* a : w.menuBar()->actions())
        top << a->text();
    EXPECT_EQ(top, (QStringList{"&File", "&Setting", "&Help"}));
    EXPECT_EQ(w.Com_Adress->text(), "Com Adress");
    EXPECT_EQ(w.Speed[2]->objectName(), "Speed_115000");
    EXPECT_EQ(w.Speed[2]->text(), "115000");
    EXPECT_EQ(w.COM[16]->objectName(), "COM16");
    EXPECT_EQ(w.COM[16]->text(), "&COM16");
    const auto* ports = w.findChild<QMenu*>(QStringLiteral("MenuComport"));
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->title(), "Comport");
    EXPECT_EQ(ports->actions().size(), 16);
}
