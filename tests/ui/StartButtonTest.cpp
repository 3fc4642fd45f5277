// The Start button: a run against a port that does not exist ends with
// "Fault" and the failure box, the controls are off during the run and come
// back in order, and the menus (Exit included) work in the middle of it.

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "VLboot.h"
#include "WindowSetup.h"

#include <QAction>
#include <QEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

// Records every change of the enabled state of the watched controls, as
// "name+" or "name-".
class EnableRecorder : public QObject {
public:
    QStringList changes;

    void watch(QWidget* w) { w->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            auto* w = static_cast<QWidget*>(watched);
            changes << w->objectName() + (w->isEnabled() ? QLatin1Char('+') : QLatin1Char('-'));
        }
        return false;
    }
};

const QString NoPortTitle = QStringLiteral("Velm_Bootloader");

// A window whose selected port (COM4) names a device that does not exist,
// with a reply wait short enough for a test.
struct NoDeviceWindow {
    TestFolder dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<VLboot> w;

    explicit NoDeviceWindow(double replyTimeout)
    {
        WriteSetup(dir, "[ComSettings]\r\nComPort=4\r\n");
        w = std::make_unique<VLboot>(dir.path(), dialogs);
        w->Device().ReplyTimeout = replyTimeout;
        w->TxtVelmfile->setText(QString());
    }
};

} // namespace

TEST(StartButton, EmptyFileNameWithoutDeviceEndsWithFaultAndTheFailureBox)
{
    NoDeviceWindow t(0.05);
    VLboot& w = *t.w;
    EnableRecorder recorder;
    for (QWidget* c : {static_cast<QWidget*>(w.BtnStart), static_cast<QWidget*>(w.LblVelm),
                       static_cast<QWidget*>(w.TxtVelmfile), static_cast<QWidget*>(w.BtnVelmbrowse),
                       static_cast<QWidget*>(w.Frame1)})
        recorder.watch(c);

    struct Seen {
        QString caption;
        bool running = false;
        bool startEnabled = true;
        bool fileControlsEnabled = true;
        bool menusEnabled = false;
    };
    std::vector<Seen> seen;
    t.dialogs.whileBoxShown = [&](const ScriptedDialogs::Box&) {
        seen.push_back({w.LblStatusText->text(), w.IsRunning(), w.BtnStart->isEnabled(),
                        w.LblVelm->isEnabled() || w.TxtVelmfile->isEnabled() || w.BtnVelmbrowse->isEnabled()
                            || w.Frame1->isEnabled(),
                        w.Exit->isEnabled() && w.Speed[0]->isEnabled() && w.Com_Adress->isEnabled() && w.About->isEnabled()});
    };

    w.BtnStart->click();

    // Detection could not open the port and timed out; the empty name then
    // failed the file check.
    EXPECT_EQ(w.LblStatusText->text(), "Fault");
    EXPECT_EQ(w.ProgressBar->value(), 0);
    ASSERT_EQ(t.dialogs.boxes.size(), 2u);
    EXPECT_EQ(t.dialogs.boxes[0].title, NoPortTitle);
    EXPECT_EQ(t.dialogs.boxes[0].text, "Comm Port not available!");
    EXPECT_EQ(t.dialogs.boxes[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(t.dialogs.boxes[1].title, "Warning");
    EXPECT_EQ(t.dialogs.boxes[1].text, "Error!\r\n\r\nFault during upload.");
    EXPECT_EQ(t.dialogs.boxes[1].icon, Dialogs::Icon::Exclamation);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].caption, "Init");
    EXPECT_EQ(seen[1].caption, "Fault");
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.running);
        EXPECT_FALSE(s.startEnabled);
        EXPECT_FALSE(s.fileControlsEnabled);
        EXPECT_TRUE(s.menusEnabled);
    }

    // Off in the order Start, label, box, Browse, frame; back on with Start
    // last (the frame's contents come back with it).
    EXPECT_EQ(recorder.changes, (QStringList{"BtnStart-", "LblVelm-", "TxtVelmfile-", "BtnVelmbrowse-", "Frame1-",
                                             "LblVelm+", "TxtVelmfile+", "BtnVelmbrowse+", "Frame1+", "BtnStart+"}));
    EXPECT_FALSE(w.IsRunning());
    for (QWidget* c : {static_cast<QWidget*>(w.BtnStart), static_cast<QWidget*>(w.TxtVelmfile),
                       static_cast<QWidget*>(w.BtnVelmbrowse)})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
}

TEST(StartButton, MenuCommandsWorkInTheMiddleOfARun)
{
    NoDeviceWindow t(0.05);
    VLboot& w = *t.w;
    t.dialogs.inputAnswers.push_back(QStringLiteral("9"));
    bool done = false;
    t.dialogs.whileBoxShown = [&](const ScriptedDialogs::Box& box) {
        if (box.title != NoPortTitle || done)
            return;
        done = true;
        w.COM[3]->trigger();
        w.Speed[1]->trigger();
        w.Com_Adress->trigger();
        w.About->trigger();
    };
    w.BtnStart->click();

    EXPECT_TRUE(done);
    EXPECT_TRUE(w.COM[3]->isChecked());
    EXPECT_TRUE(w.Speed[1]->isChecked());
    EXPECT_EQ(w.settings().DevAdr, "9");
    const QByteArray setup = t.dir.read(QStringLiteral("setup.ini"));
    EXPECT_TRUE(setup.contains("ComPort=3\r\n"));
    EXPECT_TRUE(setup.contains("ComSpeed=57600\r\n"));
    EXPECT_TRUE(setup.contains("DevAdr=9\r\n"));
    QStringList titles;
    for (const auto& b : t.dialogs.boxes)
        titles << b.title;
    EXPECT_EQ(titles, (QStringList{NoPortTitle, "About", "Warning"}));
}

// The program's event loop, with the Start button pressed in it and Exit
// chosen `exitAfterMs` later (from inside the run's reply wait when the run
// is still going); its exit code, -1 when it did not end within 10 s.
int ExecWithStartAndExit(VLboot& w, int exitAfterMs, bool start)
{
    if (start)
        QTimer::singleShot(0, &w, [&w] { w.BtnStart->click(); });
    QTimer::singleShot(exitAfterMs, &w, [&w] { w.Exit->trigger(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(10000);
    return QCoreApplication::exec();
}

TEST(StartButton, ExitInTheMiddleOfARunStopsItQuietlyAndEndsTheProgram)
{
    NoDeviceWindow t(20); // a reply wait far longer than the test
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(ExecWithStartAndExit(*t.w, 50, true), 0);
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_NE(t.w->LblStatusText->text(), "COM timeout");
    for (const auto& b : t.dialogs.boxes)
        EXPECT_NE(b.title, "Warning"); // no failure box
    EXPECT_TRUE(t.w->BtnStart->isEnabled());
}

TEST(StartButton, ExitBetweenRunsEndsTheProgram)
{
    NoDeviceWindow t(0.05);
    EXPECT_EQ(ExecWithStartAndExit(*t.w, 0, false), 0);
}
