// The traffic window "Communication": its controls, the last frame and reply
// in its boxes (also while hidden), and its "Log to File" box.
#include "ComForm.h"
#include "TestFiles.h"
#include "TrafficWindow.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

namespace {

struct Traffic : ::testing::Test {
    TestFolder folder;
    ComForm link{folder.path()};
    std::unique_ptr<TrafficWindow> window = std::make_unique<TrafficWindow>(link);

    void SetUp() override { link.Log.SetClock([] { return QDateTime(QDate(2007, 4, 3), QTime(9, 5, 7)); }); }
    template <typename T>
    T* control(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
};

} // namespace

TEST_F(Traffic, ControlsShowTheLastLinesAlsoWhileHidden)
{
    EXPECT_EQ(window->windowTitle(), "Communication");
    const auto* logLabel = control<QLabel>("Label3");
    EXPECT_EQ(logLabel->text(), "Log to File");
    EXPECT_GE(logLabel->width(), QFontMetrics(logLabel->font()).horizontalAdvance("Log to File")); // not cut off

    window->SetVisibility(false);
    link.WriteOut("TX: 01 ");
    const QString longFrame = "TX: " + QString("2B ").repeated(43);
    link.WriteOut(longFrame);
    link.WriteIn("RX: 02 00 ");
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), longFrame);
    EXPECT_EQ(control<QLineEdit>("Text1")->cursorPosition(), 0); // a long frame shows from its start
    EXPECT_EQ(control<QLineEdit>("Text2")->text(), "RX: 02 00 ");
    EXPECT_FALSE(folder.exists("Log.txt"));

    window->move(200, 150);
    const QSize size = window->size();
    window->SetVisibility(true);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(0, 0)); // at the top left, its size kept
    EXPECT_EQ(window->size(), size);
}

TEST_F(Traffic, TheLogBoxStartsAFreshLogAndUntickingStopsIt)
{
    window->SetLogOn();
    EXPECT_TRUE(control<QCheckBox>("ChkLog")->isChecked());
    link.WriteOut("TX: 01 ");
    const QByteArray log = folder.read("Log.txt");
    EXPECT_TRUE(log.endsWith("*\r\n03.04.2007 09.05.07 TX: 01 \r\n"));
    window->SetLogOn(); // ticked already: the log goes on
    EXPECT_EQ(folder.read("Log.txt"), log);

    control<QCheckBox>("ChkLog")->click(); // the user unticks: the file stays, nothing more is written
    link.WriteIn("RX: 02 ");
    EXPECT_EQ(folder.read("Log.txt"), log);
    control<QCheckBox>("ChkLog")->click(); // and ticks again: a fresh file
    EXPECT_FALSE(folder.read("Log.txt").contains("TX: 01"));

    window.reset(); // window and link may end in either order
    link.WriteOut("TX: 01 ");
}
