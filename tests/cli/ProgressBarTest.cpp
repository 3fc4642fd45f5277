#include "ProgressBar.h"

#include <gtest/gtest.h>

using namespace vlboot::cli;

namespace {

// A bar writing into a buffer, on a clock the test moves by hand.
struct BarFixture : ::testing::Test {
    QByteArray written;
    double now = 0.0; // steps of 1/16 s are exact
    ProgressBar bar{[this](const QByteArray& b) { written += b; }, [this] { return now; }};

    int draws() const { return static_cast<int>(written.count('\r')); }
};

} // namespace

TEST(ProgressBarText, FillsInProportionAndClampsTheValue)
{
    const QString empty = ProgressBar::Render(0, 0, 1000, std::nullopt);
    EXPECT_TRUE(empty.startsWith("[" + QString(ProgressBar::BarWidth, '-') + "]   0%")) << empty.toStdString();
    EXPECT_TRUE(empty.contains("0/1000 bytes"));
    EXPECT_TRUE(empty.contains("- B/s  -:-- left"));

    const QString half = ProgressBar::Render(50, 500, 1000, 250.0);
    EXPECT_TRUE(half.startsWith("[" + QString(12, '#') + QString(12, '-') + "]  50%")) << half.toStdString();
    EXPECT_TRUE(half.contains("500/1000 bytes  250 B/s  0:02 left")) << half.toStdString();

    // The bar never runs past its ends, whatever value it is given.
    EXPECT_TRUE(ProgressBar::Render(130, 1300, 1000, 1.0).startsWith("[" + QString(24, '#') + "] 100%"));
    EXPECT_TRUE(ProgressBar::Render(-5, 0, 1000, std::nullopt).startsWith("[" + QString(24, '-') + "]   0%"));
    // 99.9 is not yet done.
    EXPECT_TRUE(ProgressBar::Render(99.9f, 999, 1000, 1.0).contains(" 99%"));
}

TEST(ProgressBarText, StaysNarrowerThanTheTerminal)
{
    for (int columns : {80, 60, 40, 20, 12, 5}) {
        const QString line = ProgressBar::Render(50, 131072, 262144, 11520.0, columns);
        EXPECT_LT(line.size(), columns) << line.toStdString();
        EXPECT_TRUE(line.contains("50%")) << columns;
    }
    EXPECT_TRUE(ProgressBar::Render(50, 500, 1000, 250.0, 40).startsWith("[")); // a shorter bar, not none
}

TEST(ProgressBarText, RatesAndDurationsAtTheirUnitChanges)
{
    EXPECT_EQ(ProgressBar::RateText(0.4), "0 B/s");
    EXPECT_EQ(ProgressBar::RateText(999), "999 B/s");
    EXPECT_EQ(ProgressBar::RateText(1000), "1.0 kB/s");
    EXPECT_EQ(ProgressBar::RateText(12345), "12.3 kB/s");
    EXPECT_EQ(ProgressBar::RateText(1.15e6), "1.15 MB/s");
    EXPECT_EQ(ProgressBar::DurationText(0), "0:00");
    EXPECT_EQ(ProgressBar::DurationText(59.4), "0:59");
    EXPECT_EQ(ProgressBar::DurationText(59.6), "1:00");
    EXPECT_EQ(ProgressBar::DurationText(3599), "59:59");
    EXPECT_EQ(ProgressBar::DurationText(3600), "1:00:00");
    EXPECT_EQ(ProgressBar::DurationText(-3), "0:00");
}

TEST_F(BarFixture, RedrawsAtMostTenTimesASecond)
{
    bar.Update(1, 10, 1000);
    EXPECT_EQ(draws(), 1);
    now += 0.0625;
    bar.Update(2, 20, 1000); // too soon: held back
    EXPECT_EQ(draws(), 1);
    now += 0.0625;
    bar.Update(3, 30, 1000);
    EXPECT_EQ(draws(), 2);
    EXPECT_TRUE(written.endsWith(ProgressBar::Render(3, 30, 1000, 160.0).toLocal8Bit())) << written.toStdString();
    EXPECT_TRUE(bar.LineOpen());
    EXPECT_FALSE(written.contains('\n'));
}

TEST_F(BarFixture, TheFullBarIsAlwaysDrawn)
{
    bar.Update(50, 500, 1000);
    bar.Update(100, 1000, 1000); // at the same instant
    EXPECT_EQ(draws(), 2);
    EXPECT_TRUE(written.contains("100%"));
}

TEST_F(BarFixture, FinishLineDrawsAHeldBackStateThenEndsTheLine)
{
    bar.Update(10, 100, 1000);
    now += 0.0625;
    bar.Update(20, 200, 1000);
    bar.FinishLine();
    EXPECT_EQ(draws(), 2);
    EXPECT_TRUE(written.endsWith(QByteArray("20%  200/1000 bytes  1.6 kB/s  0:01 left\n"))) << written.toStdString();
    EXPECT_FALSE(bar.LineOpen());

    // Nothing on the line: nothing to end.
    const QByteArray before = written;
    bar.FinishLine();
    EXPECT_EQ(written, before);
}

TEST_F(BarFixture, AShorterRedrawBlanksTheRestOfTheLine)
{
    bar.Update(0, 0, 100000);
    now = 1;
    bar.Update(10, 10000, 100000); // "10.0 kB/s"
    const qsizetype longWidth = written.size() - written.lastIndexOf('\r') - 1;
    now = 20;
    bar.Update(10, 10002, 100000); // the line stalls: "500 B/s", two characters shorter
    const QByteArray last = written.mid(written.lastIndexOf('\r') + 1);
    EXPECT_TRUE(last.contains("500 B/s")) << last.toStdString();
    EXPECT_EQ(last.size(), longWidth);
    EXPECT_TRUE(last.endsWith("  "));
}

TEST_F(BarFixture, NothingIsWrittenBeforeTheFirstUpdate)
{
    bar.FinishLine();
    EXPECT_TRUE(written.isEmpty());
}
