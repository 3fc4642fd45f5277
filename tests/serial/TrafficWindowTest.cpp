#include "ComForm.h"
#include "TestFiles.h"
#include "TrafficWindow.h"
#include "Twips.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>

namespace vlboot {
namespace {

using test::TestFolder;

TEST(Twips, FifteenTwipsPerPixelAt96Dpi)
{
    static_assert(TwipsToPixels(1440, 96) == 96);
    EXPECT_EQ(TwipsToPixels(9345, 96), 623);
    EXPECT_EQ(TwipsToPixels(1095, 96), 73);
    EXPECT_EQ(TwipsToPixels(0, 96), 0);
    EXPECT_EQ(TwipsToPixels(7, 96), 0);
    EXPECT_EQ(TwipsToPixels(8, 96), 1) << "rounded to the nearest pixel";
    EXPECT_EQ(TwipsToPixels(9345, 144), 935);
    EXPECT_EQ(TwipsToPixels(-15, 96), -1);
    EXPECT_EQ(TwipsToPixels(120, 240, 375, 255, 96, 96), QRect(8, 16, 25, 17));
}

class TrafficWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        link.Log.SetClock([] { return QDateTime(QDate(2007, 4, 3), QTime(9, 5, 7)); });
    }

    template <typename T>
    T* Control(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }

    QRect Twips(int left, int top, int width, int height) const
    {
        return TwipsToPixels(left, top, width, height, window->logicalDpiX(), window->logicalDpiY());
    }

    TestFolder folder;
    ComForm link{folder.path()};
    std::unique_ptr<TrafficWindow> window = std::make_unique<TrafficWindow>(link);
};

TEST_F(TrafficWindowTest, ControlsHaveTheirNamesCaptionsAndPlaces)
{
    EXPECT_EQ(window->windowTitle(), "Communication");
    EXPECT_EQ(window->size(), Twips(0, 0, 9345, 1095).size());

    const auto* label1 = Control<QLabel>("Label1");
    const auto* label2 = Control<QLabel>("Label2");
    const auto* label3 = Control<QLabel>("Label3");
    const auto* text1 = Control<QLineEdit>("Text1");
    const auto* text2 = Control<QLineEdit>("Text2");
    const auto* chk = Control<QCheckBox>("ChkLog");
    ASSERT_TRUE(label1 && label2 && label3 && text1 && text2 && chk);

    EXPECT_EQ(label1->text(), "Tx");
    EXPECT_EQ(label2->text(), "Rx");
    EXPECT_EQ(label3->text(), "Log to File");
    EXPECT_EQ(text1->text(), "");
    EXPECT_EQ(text2->text(), "");
    EXPECT_FALSE(chk->isChecked());
    EXPECT_EQ(chk->text(), "");

    EXPECT_EQ(label1->geometry(), Twips(120, 240, 375, 255));
    EXPECT_EQ(text1->geometry(), Twips(600, 120, 7695, 375));
    EXPECT_EQ(label2->geometry(), Twips(120, 720, 375, 255));
    EXPECT_EQ(text2->geometry(), Twips(600, 600, 7695, 375));
    EXPECT_EQ(label3->geometry(), Twips(8400, 240, 855, 255));
    EXPECT_EQ(chk->geometry(), Twips(8520, 600, 255, 255));
}

TEST_F(TrafficWindowTest, BoxesShowTheLastLinesAlsoWhileHidden)
{
    window->SetVisibility(false);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(link.Display(), window.get());

    link.WriteOut("TX: 01 ");
    link.WriteOut("TX: 02 AA ");
    link.WriteIn("RX: 02 00 ");
    EXPECT_EQ(Control<QLineEdit>("Text1")->text(), "TX: 02 AA ");
    EXPECT_EQ(Control<QLineEdit>("Text2")->text(), "RX: 02 00 ");
    EXPECT_FALSE(folder.exists("Log.txt"));
}

TEST_F(TrafficWindowTest, ShownAtTheTopLeftWithItsSizeKept)
{
    window->move(200, 150);
    const QSize size = window->size();
    window->SetVisibility(true);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_EQ(window->size(), size);

    window->SetVisibility(false);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(TrafficWindowTest, SetLogOnTicksTheBoxAndStartsAFreshLog)
{
    folder.write("Log.txt", "old traffic\r\n");
    window->SetLogOn();
    EXPECT_TRUE(Control<QCheckBox>("ChkLog")->isChecked());
    EXPECT_TRUE(link.Log.LogOn);
    QByteArray log = folder.read("Log.txt");
    EXPECT_FALSE(log.contains("old traffic"));
    EXPECT_TRUE(log.contains("*   Start time : 03.04.2007 09.05.07"));

    link.WriteOut("TX: 01 ");
    const QByteArray withLine = folder.read("Log.txt");
    EXPECT_TRUE(withLine.endsWith("03.04.2007 09.05.07 TX: 01 \r\n"));

    window->SetLogOn(); // ticked already: the log goes on
    EXPECT_EQ(folder.read("Log.txt"), withLine);
}

TEST_F(TrafficWindowTest, UserUntickingStopsAndTickingRestartsTheLog)
{
    auto* chk = Control<QCheckBox>("ChkLog");
    chk->click();
    EXPECT_TRUE(link.Log.LogOn);
    link.WriteIn("RX: 01 ");

    chk->click();
    EXPECT_FALSE(link.Log.LogOn);
    const QByteArray kept = folder.read("Log.txt");
    EXPECT_TRUE(kept.contains("RX: 01 "));
    link.WriteIn("RX: 02 ");
    EXPECT_EQ(folder.read("Log.txt"), kept);

    chk->click();
    EXPECT_TRUE(link.Log.LogOn);
    EXPECT_FALSE(folder.read("Log.txt").contains("RX: 01 "));
}

TEST_F(TrafficWindowTest, WindowAndLinkMayEndInEitherOrder)
{
    window.reset();
    EXPECT_EQ(link.Display(), nullptr);
    link.WriteOut("TX: 01 "); // no display any more, no crash

    auto otherLink = std::make_unique<ComForm>(folder.path());
    auto otherWindow = std::make_unique<TrafficWindow>(*otherLink);
    otherLink.reset();
    otherWindow->findChild<QCheckBox*>("ChkLog")->click(); // the link is gone: nothing to switch
    otherWindow.reset();
}

} // namespace
} // namespace vlboot
