// The menu and button commands of the main window between runs, the
// window's fixed size, and what it shows for a run.

#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "VLboot.h"
#include "Version.h"
#include "WindowSetup.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace vlboot;
using namespace vlboot::test;

namespace {

QByteArray SetupIni(const TestFolder& dir)
{
    return dir.read(QStringLiteral("setup.ini"));
}

} // namespace

TEST(WindowCommands, PortItemMovesTheMarkAndIsStoredWithoutOpeningThePort)
{
    TestFolder dir;
    WriteSetup(dir, "[ComSettings]\r\nComPort=5\r\n");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    ASSERT_TRUE(w.COM[5]->isChecked());

    w.COM[3]->trigger();
    EXPECT_TRUE(w.COM[3]->isChecked());
    EXPECT_FALSE(w.COM[5]->isChecked());
    EXPECT_EQ(w.settings().ComPort, 3);
    EXPECT_TRUE(SetupIni(dir).contains("ComPort=3\r\n"));
    EXPECT_FALSE(w.link().IsOpen());
    EXPECT_TRUE(dialogs.boxes.empty());

    // Choosing the selected item again keeps its mark.
    w.COM[3]->trigger();
    EXPECT_TRUE(w.COM[3]->isChecked());
    int checked = 0;
    for (int n = 1; n <= 16; ++n)
        checked += w.COM[n]->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);
}

TEST(WindowCommands, SpeedItemsMoveTheMarkAndStoreTheBaudRate)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);

    const struct {
        int item;
        const char* stored;
    } steps[] = {{2, "ComSpeed=115200\r\n"}, {1, "ComSpeed=57600\r\n"}, {0, "ComSpeed=9600\r\n"}, {2, "ComSpeed=115200\r\n"}};
    for (const auto& s : steps) {
        w.Speed[s.item]->trigger();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(w.Speed[i]->isChecked(), i == s.item) << s.item;
        EXPECT_EQ(w.settings().ComSpeed, s.item);
        EXPECT_TRUE(SetupIni(dir).contains(s.stored)) << s.stored;
    }
    EXPECT_EQ(w.Speed[2]->text(), "115000");
}

TEST(WindowCommands, NetworkAddressIsHeldAsTypedAndStoredAsItsNumber)
{
    TestFolder dir;
    WriteSetup(dir, "[ComSettings]\r\nDevAdr=4\r\n");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);

    const struct {
        std::optional<QString> entered;
        const char* held;
        const char* stored;
    } steps[] = {
        {QStringLiteral(" 7"), " 7", "DevAdr=7\r\n"},
        {QStringLiteral("12abc"), "12abc", "DevAdr=12\r\n"},
        {QStringLiteral(""), "12abc", "DevAdr=12\r\n"},   // empty: nothing changes
        {std::nullopt, "12abc", "DevAdr=12\r\n"},         // Cancel: nothing changes
        {QStringLiteral("none"), "none", "DevAdr=0\r\n"}, // not a number: stored as 0
        {QStringLiteral("-3"), "-3", "DevAdr=-3\r\n"},
    };
    QString shownBefore = QStringLiteral("4");
    for (const auto& s : steps) {
        dialogs.inputAnswers.push_back(s.entered);
        w.Com_Adress->trigger();
        ASSERT_FALSE(dialogs.inputs.empty());
        const auto& asked = dialogs.inputs.back();
        EXPECT_EQ(asked.title, "Network Address");
        EXPECT_EQ(asked.prompt, "Enter Amplifier Network address");
        EXPECT_EQ(asked.initial, shownBefore) << s.held;
        EXPECT_EQ(w.settings().DevAdr, s.held);
        EXPECT_TRUE(SetupIni(dir).contains(s.stored)) << s.held;
        shownBefore = w.settings().DevAdr;
    }
    EXPECT_EQ(dialogs.inputs.size(), std::size(steps));
}

TEST(WindowCommands, AboutShowsTheProgramsVersion)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    w.About->trigger();

    // "1.0.0" reads "1.00": minor and revision run together.
    const QStringList parts = QString::fromLatin1(VersionText).split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), 3);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].title, "About");
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(dialogs.boxes[0].text, "Velmora Bootloader\r\n\r\nVersion " + parts[0] + "." + parts[1] + parts[2]
                                         + "\r\nJune 2006");
    if (QLatin1String(VersionText) == QLatin1String("1.0.0")) {
        EXPECT_EQ(VLboot::AboutText(), "Velmora Bootloader\r\n\r\nVersion 1.00\r\nJune 2006");
    }
}

TEST(WindowCommands, BrowseStartsInTheFolderOfTheBoxTextWhenItExists)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("fw/new")));
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    const QString configFolder = QDir::toNativeSeparators(QDir(dir.path()).absolutePath() + "/");
    const QString fw = dir.path() + "/fw/";

    const struct {
        QString text;
        QString start;
    } cases[] = {
        {QStringLiteral("?"), configFolder},
        {QString(), configFolder},
        {fw + "amp.ldr", fw},
        {fw + "new/", fw + "new/"},
        {fw + "missing/amp.ldr", configFolder},
        {QStringLiteral("C:\\fw\\amp.ldr"), configFolder},
        {dir.path() + "\\amp.ldr", configFolder}, // that folder, with its "\", does not exist here
        {QStringLiteral("/amp.ldr"), QStringLiteral("/")},
    };
    for (const auto& c : cases) {
        w.TxtVelmfile->setText(c.text);
        dialogs.fileAnswers.push_back(QString());
        w.BtnVelmbrowse->click();
        ASSERT_FALSE(dialogs.fileDialogs.empty());
        EXPECT_EQ(dialogs.fileDialogs.back().startFolder, c.start) << c.text.toStdString();
        EXPECT_EQ(dialogs.fileDialogs.back().filter, "Files (*.ldr)");
        EXPECT_EQ(w.TxtVelmfile->text(), c.text); // cancelled: unchanged
    }
    EXPECT_FALSE(SetupIni(dir).contains("FirmwareFile=/")); // no cancel stored anything
}

TEST(WindowCommands, BrowseWithoutSeparatorTriesTheFirstCharacterAsFolder)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("f")));
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QString fromF = w.BrowseStartFolder(QStringLiteral("fw.ldr"));
    const QString fromG = w.BrowseStartFolder(QStringLiteral("gw.ldr"));
    QDir::setCurrent(previous);
    EXPECT_EQ(fromF, "f");
    EXPECT_EQ(fromG, QDir::toNativeSeparators(QDir(dir.path()).absolutePath() + "/"));
}

TEST(WindowCommands, ChosenFileFillsTheBoxAndIsRemembered)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    const QString chosen = dir.file(QStringLiteral("amp 2.ldr"));

    dialogs.fileAnswers.push_back(chosen);
    EXPECT_EQ(w.BrowseForFile(w.TxtVelmfile), chosen);
    EXPECT_EQ(w.TxtVelmfile->text(), chosen);

    // Through the button, the choice is stored; a cancel afterwards keeps it.
    w.TxtVelmfile->setText(QStringLiteral("?"));
    dialogs.fileAnswers.push_back(chosen);
    w.BtnVelmbrowse->click();
    EXPECT_TRUE(SetupIni(dir).contains("FirmwareFile=" + chosen.toUtf8() + "\r\n"));
    dialogs.fileAnswers.push_back(QString());
    w.BtnVelmbrowse->click();
    EXPECT_EQ(w.TxtVelmfile->text(), chosen);
    EXPECT_TRUE(SetupIni(dir).contains("FirmwareFile=" + chosen.toUtf8() + "\r\n"));
}

TEST(WindowCommands, AFileGivenAtStartUpIsTakenAsIfChosenWithBrowse)
{
    TestFolder browsed, given;
    WriteSetup(browsed, "");
    WriteSetup(given, "");
    ScriptedDialogs dialogs;
    VLboot a(browsed.path(), dialogs), b(given.path(), dialogs);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(browsed.path()));
    dialogs.fileAnswers.push_back(QStringLiteral("fw/amp.ldr"));
    a.BtnVelmbrowse->click();
    b.FirmwareFileChosen(QStringLiteral("fw/amp.ldr"));
    QDir::setCurrent(previous);

    EXPECT_EQ(b.TxtVelmfile->text(), browsed.file(QStringLiteral("fw/amp.ldr")));
    EXPECT_EQ(b.TxtVelmfile->text(), a.TxtVelmfile->text());
    EXPECT_EQ(SetupIni(given), SetupIni(browsed));
}

TEST(WindowSize, ResizingSpringsBackToTheFixedSize)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    w.show();
    const QSize fixed = w.FixedWindowSize();
    ASSERT_TRUE(fixed.isValid());

    w.resize(fixed.width() + 200, fixed.height() + 100);
    EXPECT_EQ(w.size(), fixed);

    // Even when the limits are lifted, the window's own rule brings it back.
    w.setMinimumSize(0, 0);
    w.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w.resize(fixed.width() / 2, fixed.height() * 2);
    EXPECT_EQ(w.size(), fixed);
}

TEST(WindowRunView, ProgressIsWholePercentWithinTheBar)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    const struct {
        float value;
        int shown;
    } cases[] = {{25.0f, 25}, {99.99f, 99}, {100.0f, 100}, {250.0f, 100}, {0.4f, 0},
                 {-3.0f, 0}, {std::numeric_limits<float>::quiet_NaN(), 0}, {std::numeric_limits<float>::infinity(), 100}};
    for (const auto& c : cases) {
        w.SetProgress(50.0f);
        w.SetProgress(c.value);
        EXPECT_EQ(w.ProgressBar->value(), c.shown) << c.value;
    }
    w.SetCaption(QStringLiteral("Programming Velmora module"));
    EXPECT_EQ(w.LblStatusText->text(), "Programming Velmora module");
}

TEST(WindowExit, ExitAndClosingTheWindowEndTheProgram)
{
    TestFolder dir;
    WriteSetup(dir, "");
    ScriptedDialogs dialogs;
    VLboot w(dir.path(), dialogs);
    int ended = 0;
    w.ExitProgram = [&ended] { ++ended; };

    w.Exit->trigger();
    EXPECT_EQ(ended, 1);
    w.show();
    w.close();
    EXPECT_EQ(ended, 2);
    EXPECT_TRUE(dialogs.boxes.empty()); // nothing is asked
}
