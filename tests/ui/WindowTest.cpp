// The main window: its start-up, its menus and buttons, the Start button's
// run with the controls it turns off, and Exit in and between runs.
#include "../production/CsvReader.h"
#include "CliProcesses.h"
#include "DeviceProtocol.h"
#include "FirmwareImage.h"
#include "PostgresServer.h"
#include "Pty.h"
#include "TrafficWindow.h"
#include "Twips.h"
#include "Version.h"
#include "WindowFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QRegularExpression>
#include <QTimer>

using namespace vlboot;
using namespace vlboot::test;

TEST(Window, StartUpMarksThePortAndSpeedHidesPortsThatDoNotOpenAndKeepsDiagnosticsOff)
{
    PtyPair second;
    const std::pair<QByteArray, std::vector<int>> cases[] = { // stored; the port and the speed marked
        {"ComPort=7\r\nComSpeed=115000", {7, 0}},           // COM7 cannot be opened: hidden, still selected
        {"ComPort=abc\r\nComSpeed=115200\r\n[AmpCom]\r\nDebug=73", {1, 2}}};
    for (const auto& [stored, marked] : cases) {
        Window t("[ComSettings]\r\n" + stored + "\r\n", {{2, second.slavePath()}});
        EXPECT_EQ(t.checked(true), std::vector<int>{marked[0]}) << stored.constData();
        EXPECT_EQ(t.checked(false), std::vector<int>{marked[1]}) << stored.constData();
        for (int n = 1; n <= PortCount; ++n)
            EXPECT_EQ(t.item(QStringLiteral("COM%1").arg(n))->isVisible(), n == 2) << n;
        const bool debug = stored.contains("Debug=73");
        EXPECT_EQ(t.w->findChild<TrafficWindow*>()->isVisible(), debug);
        EXPECT_EQ(t.dir.exists("Log.txt"), debug);
        EXPECT_EQ(t.control<QLabel>("LblStatusText")->text(), "Please select...");
        EXPECT_EQ(t.control<QLineEdit>("TxtVelmfile")->text(), "?");
    }
    EXPECT_TRUE(second.readAvailable(0).isEmpty()); // the scan put nothing on the line
}

TEST(Window, KeepsItsSizeFrameIncludedAndItsNames)
{
    Window t;
    VLboot& w = *t.w;
    w.show();
    EXPECT_EQ(w.windowTitle(), "Velmora Bootloader");
    const QSize fixed(TwipsToPixels(11295, w.logicalDpiX()), TwipsToPixels(4810, w.logicalDpiY()));
    EXPECT_EQ(w.frameGeometry().size(), fixed);
    EXPECT_EQ(t.item("Com_Adress")->text(), "Com Adress");
    EXPECT_EQ(t.control<QGroupBox>("Frame3")->title(), "Status");
    EXPECT_EQ(t.item("Speed_115000")->text(), "115000");
}

TEST(Window, MenuChoicesMoveTheMarksAndAreStoredAtOnce)
{
    Window t("[ComSettings]\r\nComPort=5\r\nDevAdr=4\r\n");
    t.item("COM3")->trigger();
    t.item("COM3")->trigger(); // the selected item again keeps its mark
    t.item("Speed_115000")->trigger();
    EXPECT_EQ(t.checked(true), std::vector<int>{3});
    EXPECT_EQ(t.checked(false), std::vector<int>{2});
    EXPECT_TRUE(t.setupIni().contains("ComPort=3\r\n") && t.setupIni().contains("ComSpeed=115200\r\n"));

    const struct {
        std::optional<QString> entered;
        const char* held; // what the next dialog shows
        const char* stored;
    } steps[] = {{QStringLiteral("12abc"), "12abc", "DevAdr=12\r\n"}, // held as typed, stored as its number
                 {QStringLiteral(""), "12abc", "DevAdr=12\r\n"},      // empty and Cancel change nothing
                 {std::nullopt, "12abc", "DevAdr=12\r\n"},
                 {QStringLiteral("none"), "none", "DevAdr=0\r\n"}};
    QString shown = "4";
    for (const auto& s : steps) {
        t.dialogs.answers.push_back(s.entered);
        t.item("Com_Adress")->trigger();
        EXPECT_EQ(t.dialogs.inputs.back().title, "Network Address");
        EXPECT_EQ(t.dialogs.inputs.back().text, "Enter Amplifier Network address");
        EXPECT_EQ(t.dialogs.inputs.back().extra, shown);
        EXPECT_TRUE(t.setupIni().contains(s.stored)) << s.held;
        shown = s.held;
    }
    t.item("About")->trigger();
    EXPECT_EQ(t.dialogs.boxes.back().text,
              "Velmora Bootloader\r\n\r\nVersion " + QString(VersionText).replace(QRegularExpression("\\.(\\d+)$"), "\\1") + "\r\nJune 2006"); // 1.0.0 as 1.00
}

TEST(Window, BrowseStartsInTheFolderOfTheBoxTextAndAChosenFileIsRemembered)
{
    Window t;
    ASSERT_TRUE(QDir(t.dir.path()).mkpath("fw"));
    ASSERT_TRUE(QDir(t.dir.path()).mkpath("f"));
    const QString config = QDir::toNativeSeparators(QDir(t.dir.path()).absolutePath() + "/");
    const QString fw = t.dir.path() + "/fw/";
    const QString previous = QDir::currentPath();
    QDir::setCurrent(t.dir.path()); // for a text without a separator, its first character
    const std::pair<QString, QString> cases[] = {{"?", config}, {fw + "amp.ldr", fw}, {fw + "no/x.ldr", config},
                                                 {"C:\\fw\\amp.ldr", config}, {"fw.ldr", "f"}};
    auto* box = t.control<QLineEdit>("TxtVelmfile");
    for (const auto& [text, start] : cases) {
        box->setText(text);
        t.dialogs.answers.push_back(QString());
        t.control<QPushButton>("BtnVelmbrowse")->click();
        EXPECT_EQ(t.dialogs.files.back().text, start) << text.toStdString();
        EXPECT_EQ(box->text(), text); // cancelled: unchanged
    }
    EXPECT_EQ(t.dialogs.files.back().extra, "Files (*.ldr)");
    t.dialogs.answers.push_back("fw/amp 2.ldr"); // relative to the current folder
    t.control<QPushButton>("BtnVelmbrowse")->click();
    EXPECT_EQ(box->text(), t.dir.file("fw/amp 2.ldr"));
    EXPECT_TRUE(t.setupIni().contains("FirmwareFile=" + t.dir.file("fw/amp 2.ldr").toUtf8() + "\r\n"));
    QDir::setCurrent(previous);
}

TEST(Window, ARunTurnsTheFileControlsOffKeepsTheMenusAndShowsItsEnd)
{
    Window t("[ComSettings]\r\nComPort=4\r\n"); // a port with no device
    t.w->GetStation().Session().protocol().ReplyTimeout = 0.05;
    t.control<QLineEdit>("TxtVelmfile")->setText(QString());
    QStringList seen; // the caption, and whether Start or a file control was on, at each box
    qsizetype recordsAtTheFailureBox = -1;
    t.dialogs.whileBoxShown = [&](const ScriptedDialogs::Asked& box) {
        const bool on = t.control("BtnStart")->isEnabled() || t.control("TxtVelmfile")->isEnabled() || t.control("Frame1")->isEnabled();
        seen << t.control<QLabel>("LblStatusText")->text() + (on ? " on" : " off");
        if (box.title == "Warning") // the unit's record is kept before its end shows
            recordsAtTheFailureBox = CsvRecords(t.dir.read("runs.csv")).size();
        if (seen.size() == 1)
            t.item("COM3")->trigger(); // the menus work in the middle of the run
    };
    t.control<QPushButton>("BtnStart")->click();
    EXPECT_EQ(seen, (QStringList{"Init off", "Fault off"})); // the missing port's box, then the failure box
    EXPECT_EQ(t.dialogs.boxes[0].text, "Comm Port not available!");
    EXPECT_EQ(t.dialogs.boxes[1].title, "Warning");
    EXPECT_EQ(t.dialogs.boxes[1].text, "Error!\r\n\r\nFault during upload.");
    EXPECT_TRUE(t.control("BtnStart")->isEnabled() && t.control("TxtVelmfile")->isEnabled());
    EXPECT_TRUE(t.setupIni().contains("ComPort=3\r\n"));
    EXPECT_EQ(recordsAtTheFailureBox, 1);
}

TEST(Window, AnAddressNoFrameCanCarryEndsTheRunBeforeAnythingIsSentAndItsRecordSaysSo)
{
    PtyPair device;
    Window t("[ComSettings]\r\nDevAdr=70000\r\n", {{1, device.slavePath()}});
    t.control<QPushButton>("BtnStart")->click();
    EXPECT_EQ(t.control<QLabel>("LblStatusText")->text(), "Fault");
    ASSERT_EQ(t.dialogs.boxes.size(), 1u); // the failure box alone: no port was opened
    EXPECT_EQ(t.dialogs.boxes[0].title, "Warning");
    EXPECT_TRUE(device.readAvailable(0).isEmpty());
    const auto records = CsvRecords(t.dir.read("runs.csv"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records[0]["reason"].contains("\"70000\" is not a whole number from 0 to 65535")) << records[0]["reason"].toStdString();
    EXPECT_EQ(QStringList({records[0]["device_path"], records[0]["com_port"], records[0]["device_kind"], records[0]["outcome"]}),
              QStringList({device.slavePath(), "COM1", "", "fault"}));
}

TEST(Window, ClosedDuringTheSerialNumberStepItStaysUntilTheStepEndsAndTheRecordSaysOnlyWhatIsKnown)
{
    TestFolder work;
    work.write("fw.ldr", sim::MakeImage({.bytesPerBlock = 64}).hex); // two records, then the serial number
    cli::test::Simulator sim({"--device", "fixture", "--fault", "write:3:silence"});
    Window t("[Velmsettings]\r\nSerial=500\r\nFirmwareFile=" + work.file("fw.ldr").toUtf8() + "\r\n", {{1, sim.TerminalPath()}});
    t.w->GetStation().Session().protocol().ReplyTimeout = 0.3;
    t.w->show();
    std::optional<bool> visibleAfterClose;
    QTimer closer; // closes the window once the serial-number step is under way
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!visibleAfterClose && t.w->GetStation().StopShielded()) {
            t.w->close();
            visibleAfterClose = t.w->isVisible();
        }
    });
    closer.start(5);
    QTimer::singleShot(0, t.w.get(), [&t] { t.control<QPushButton>("BtnStart")->click(); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(-1); }); // a hang ends here
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(visibleAfterClose, true);
    const auto records = CsvRecords(t.dir.read("runs.csv"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(QStringList({records[0]["outcome"], records[0]["serial_number"], records[0]["serial_write"]}),
              QStringList({"stopped", "500", "no reply"}));
    EXPECT_TRUE(records[0]["reason"].contains("serial number 500 was sent to it without a reply")) << records[0]["reason"].toStdString();
    EXPECT_FALSE(records[0]["reason"].contains("holding"));
}

TEST(Window, StartProgramsAFixtureThroughItsPortWithItsNumberFromTheProductionDatabase)
{
    test::PostgresServer server;
    TestFolder work;
    cli::test::Simulator sim({"--device", "fixture", "--dump", work.file("memory")});
    work.write("fw.ldr", sim::MakeImage({.bytesPerBlock = 256}).hex);
    const QStringList database{"--config-dir", work.path(), "--database", server.Connection()};
    ASSERT_EQ(cli::test::RunCli(database + QStringList{"--set-next-serial", "700"}).exitCode, 0);
    Window t("[ComSettings]\r\nComPort=2\r\nComSpeed=115200\r\n[Velmsettings]\r\nFirmwareFile=" + work.file("fw.ldr").toUtf8()
                 + "\r\n[Production]\r\nDatabase=" + server.Connection().toUtf8() + "\r\nStation=bench-3\r\n",
             {{2, sim.TerminalPath()}});
    t.control<QPushButton>("BtnStart")->click();
    EXPECT_EQ(t.control<QLabel>("LblStatusText")->text(), "Done with succes");
    EXPECT_EQ(t.control<QProgressBar>("ProgressBar")->value(), 100);
    EXPECT_TRUE(t.dialogs.boxes.empty());
    sim.Stop();
    EXPECT_EQ(cli::test::DumpedSerialNumber(work.file("memory")), 700);
    const QByteArray records = cli::test::RunCli(database + QStringList{"--records", "--json"}).out;
    for (const char* field : {"\"serial_number\":700", "\"station\":\"bench-3\"", "\"program\":\"vlboot\""})
        EXPECT_TRUE(records.contains(field)) << records.toStdString();
    EXPECT_FALSE(t.setupIni().contains("Serial=")); // the counter of setup.ini is not touched
}

TEST(Window, ExitEndsTheProgramBetweenRunsAndStopsARunQuietly)
{
    // The program's event loop with Start pressed in it (when `start`) and
    // Exit chosen `exitAfterMs` later; its exit code.
    const auto execWithExit = [](Window& t, int exitAfterMs, bool start) {
        if (start)
            QTimer::singleShot(0, t.w.get(), [&t] { t.control<QPushButton>("BtnStart")->click(); });
        QTimer::singleShot(exitAfterMs, t.w.get(), [&t] { t.item("Exit")->trigger(); });
        QTimer guard; // a hang ends here
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
        guard.start(10000);
        return QCoreApplication::exec();
    };
    Window idle;
    EXPECT_EQ(execWithExit(idle, 0, false), 0);
    Window t("[ComSettings]\r\nComPort=4\r\n");
    t.w->GetStation().Session().protocol().ReplyTimeout = 20; // far longer than the test
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(execWithExit(t, 50, true), 0);
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_EQ(t.dialogs.boxes.size(), 1u); // the missing port's message; no failure box
}
