// The production window on simulated fixture ports: its tiles, totals and
// last units follow the units' own vlboot-cli processes; Stop and closing
// end units as a stop does; a setup that cannot run is refused before any
// port is touched, and its settings are stored the moment they are chosen.
#include "../production/CsvReader.h"
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "PortTile.h"
#include "ProductionWindow.h"
#include "WindowFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>

using namespace vlboot;
using namespace vlboot::test;
using cli::test::Simulator;

namespace {

struct Line : ::testing::Test {
    TestFolder dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<ProductionWindow> w;

    // The window on setup.ini with [Production] holding `production` (and
    // the firmware file module.ldr) and COM1.. leading to `devices`.
    void open(const QByteArray& production, const QStringList& devices, const sim::ImageShape& image = {.bytesPerBlock = 256})
    {
        dir.write("module.ldr", sim::MakeImage(image).hex);
        QByteArray ini = "[Velmsettings]\r\nSerial=100\r\n[Ports]\r\n";
        for (int n = 0; n < devices.size(); ++n)
            ini += "COM" + QByteArray::number(n + 1) + "=" + devices[n].toUtf8() + "\r\n";
        dir.write("setup.ini", ini + "[Production]\r\nFirmwareFile=" + dir.file("module.ldr").toUtf8() + "\r\n" + production);
        w = std::make_unique<ProductionWindow>(dir.path(), dialogs, QDir(QCoreApplication::applicationDirPath()).filePath("vlboot-cli"));
    }
    // Runs the event loop until `done` (false after 20 s).
    static bool waitUntil(const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }
    PortTile& tile(int i) const { return *w->Tiles().at(i); }
};

} // namespace

TEST_F(Line, TilesTotalsAndLastUnitsFollowTheUnitsAFailedTileSaysWhyAndStopEndsTheLine)
{
    Simulator fixtures({"--device", "fixture", "--units", "2", "--leave-after-exit", "0.2", "--absent", "1.0"});
    Simulator refusing({"--device", "amplifier", "--units", "1", "--fault", "write:1:status"});
    open("Ports=COM1, COM2\r\n", {fixtures.TerminalPath(), refusing.TerminalPath()});
    w->StartLine();
    ASSERT_TRUE(w->Running());
    EXPECT_FALSE(w->findChild<QPushButton*>("BtnStart")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return tile(0).CountsText() == "passed 2   failed 0" && tile(1).StateText() == "FAILED"; }))
        << tile(0).CountsText().toStdString() << " / " << tile(1).StateText().toStdString();
    EXPECT_EQ(tile(0).StateText(), "PASSED 101");
    EXPECT_TRUE(tile(1).LineText().contains("status 0x14")) << tile(1).LineText().toStdString();
    EXPECT_EQ(tile(1).CountsText(), "passed 0   failed 1");
    EXPECT_TRUE(w->TotalsText().startsWith("Passed 2     Failed 1     Yield 66.7%")) << w->TotalsText().toStdString();
    const QStringList last = w->LastUnitsText();
    ASSERT_EQ(last.size(), 3);
    EXPECT_EQ(last.filter("COM1  PASSED  fixture  serial 10").size(), 2) << last.join('\n').toStdString();
    EXPECT_EQ(last.filter(QRegularExpression("COM2  FAULT  amplifier .*status 0x14")).size(), 1) << last.join('\n').toStdString();
    EXPECT_TRUE(w->findChild<QLabel*>("SerialSource")->text().contains("next 102"));

    w->StopLine();
    ASSERT_TRUE(waitUntil([&] { return !w->Running(); }));
    EXPECT_TRUE(w->findChild<QPushButton*>("BtnStart")->isEnabled());
    EXPECT_EQ(CsvRecords(dir.read("runs.csv")).size(), 3);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(Line, ClosedWhileAUnitProgramsTheWindowStaysUntilTheUnitHasEndedAsAStop)
{
    Simulator slow({"--device", "amplifier", "--baud", "9600"});
    open("Ports=COM1\r\n", {slow.TerminalPath()}, {.blockCount = 2, .bytesPerBlock = 4096});
    w->show();
    w->StartLine();
    ASSERT_TRUE(waitUntil([&] { return tile(0).StateText().startsWith("PROGRAMMING") && !tile(0).StateText().endsWith(" 0%"); }));
    w->close();
    EXPECT_TRUE(w->isVisible()); // until its unit has ended
    EXPECT_TRUE(w->Running());
    ASSERT_TRUE(waitUntil([&] { return !w->isVisible(); }));
    EXPECT_FALSE(w->Running());
    ASSERT_EQ(w->LastUnitsText().size(), 1);
    EXPECT_TRUE(w->LastUnitsText()[0].contains("COM1  STOPPED")) << w->LastUnitsText()[0].toStdString();
    const auto records = CsvRecords(dir.read("runs.csv"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["outcome"], "stopped");
}

TEST_F(Line, ASetupThatCannotRunIsRefusedAndSettingsAreStoredTheMomentTheyAreChosen)
{
    const QByteArray pinned(64, 'a');
    open("FirmwareSha256=" + pinned + "\r\n", {"/nonexistent/vlboot-tty1"});
    EXPECT_TRUE(w->FirmwareText().contains("is NOT the pinned firmware " + pinned)) << w->FirmwareText().toStdString();
    w->StartLine(); // no port chosen yet, and the file is not the pinned one
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(pinned)) << dialogs.boxes[0].text.toStdString();
    EXPECT_FALSE(w->Running());

    w->PortsChosen("COM1, bogus");
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_TRUE(dialogs.boxes[1].text.contains("bogus is not a port"));
    w->PortsChosen("COM1, 1");
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_TRUE(dialogs.boxes[2].text.contains("same device"));
    EXPECT_FALSE(dir.read("setup.ini").contains("Ports="));
    w->PortsChosen(" COM1 ,3,,");
    EXPECT_TRUE(dir.read("setup.ini").contains("Ports=COM1, 3\r\n"));
    EXPECT_EQ(w->Tiles().size(), 2u);
    EXPECT_EQ(tile(1).StateText(), "STOPPED");

    dir.write("other.ldr", sim::MakeImage({.bytesPerBlock = 64}).hex);
    w->FirmwareFileChosen(dir.file("other.ldr"));
    EXPECT_TRUE(dir.read("setup.ini").contains("FirmwareFile=" + dir.file("other.ldr").toUtf8() + "\r\n"));
    EXPECT_TRUE(w->FirmwareText().contains("other.ldr"));
    w->StartLine(); // still not the pinned file: nothing is started
    EXPECT_EQ(dialogs.boxes.size(), 4u);
    EXPECT_FALSE(w->Running());
}
