// The Start button: a run against a port that does not exist ends with
// "Fault" and the failure box, the controls are off during the run and come
// back in order, and the menus (Exit included) work in the middle of it.

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "VLboot.h"
#include "WindowSetup.h"

#include <QAction>
#include <QEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
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

TEST(StartButton, ExitFromInsideTheReplyWaitReachesTheExitAction)
{
    // A reply wait far longer than the test: Exit, chosen while the run waits
    // for the detection reply, must be handled inside that wait.
    NoDeviceWindow t(20);
    VLboot& w = *t.w;
    bool runningAtExit = false;
    int ended = 0;
    w.ExitProgram = [&] {
        ++ended;
        runningAtExit = w.IsRunning();
        w.Device().ReplyTimeout = 0; // let the run end, as the program would
    };
    QTimer::singleShot(0, &w, [&w] { w.Exit->trigger(); });
    w.BtnStart->click();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(runningAtExit);
}

TEST(StartButtonDeathTest, ExitInTheMiddleOfARunEndsTheProgramAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            NoDeviceWindow t(20);
            QTimer::singleShot(0, t.w.get(), [&t] { t.w->Exit->trigger(); });
            t.w->BtnStart->click();
            std::fprintf(stderr, "the run went on after Exit\n");
            std::abort();
        },
        testing::ExitedWithCode(0), "");
}

TEST(StartButtonDeathTest, ExitBetweenRunsLeavesTheEventLoop)
{
    // Leaving the event loop ends it for the rest of the process, so this
    // runs in a process of its own: Exit makes the loop return 0, and the
    // window's code carries on to the end of main.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            NoDeviceWindow t(0.05);
            QTimer::singleShot(0, t.w.get(), [&t] { t.w->Exit->trigger(); });
            QEventLoop loop;
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
            guard.start(10000);
            std::exit(loop.exec() == 0 ? 7 : 8);
        },
        testing::ExitedWithCode(7), "");
}
