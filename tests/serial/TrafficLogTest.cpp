#include "TestFiles.h"
#include "TrafficLog.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace vlboot {
namespace {

using test::TestFolder;

const QDateTime Fixed(QDate(2007, 4, 3), QTime(9, 5, 7));

QList<QByteArray> Lines(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

class TrafficLogTest : public ::testing::Test {
protected:
    TestFolder folder;
    TrafficLog log{folder.file("Log.txt"), [] { return Fixed; }};
};

TEST_F(TrafficLogTest, TimeStampIsDayMonthYearAndTwentyFourHourTime)
{
    EXPECT_EQ(log.TimeStamp(), "03.04.2007 09.05.07");
    log.SetClock([] { return QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)); });
    EXPECT_EQ(log.TimeStamp(), "31.12.1999 23.59.59");
    log.SetClock([] { return QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0)); });
    EXPECT_EQ(log.TimeStamp(), "01.01.2024 00.00.00");
}

TEST_F(TrafficLogTest, SwitchingOnWritesTheSixLineBanner)
{
    log.SetLogging(true);
    EXPECT_TRUE(log.LogOn);

    const QByteArray content = folder.read("Log.txt");
    const QList<QByteArray> lines = Lines(content);
    ASSERT_EQ(lines.size(), 6);
    for (const QByteArray& line : lines) {
        ASSERT_TRUE(line.endsWith('\r'));
        EXPECT_EQ(line.size() - 1, TrafficLog::BannerWidth);
    }
    EXPECT_EQ(content.count("\r\n"), 6);

    const QByteArray stars(107, '*');
    const QByteArray empty = '*' + QByteArray(105, ' ') + '*';
    EXPECT_EQ(lines[0].chopped(1), stars);
    EXPECT_EQ(lines[1].chopped(1),
              "*   Logfile for serial comunication between PC and Vestholm products" + QByteArray(38, ' ') + '*');
    EXPECT_EQ(lines[2].chopped(1), empty);
    EXPECT_EQ(lines[3].chopped(1), "*   Start time : 03.04.2007 09.05.07" + QByteArray(70, ' ') + '*');
    EXPECT_EQ(lines[4].chopped(1), empty);
    EXPECT_EQ(lines[5].chopped(1), stars);
}

TEST_F(TrafficLogTest, StampedLinesAreAppendedAfterWhatIsThere)
{
    folder.write("Log.txt", "earlier\r\n");
    EXPECT_TRUE(log.WriteLogLine("TX: 06 00 00 F7 01 FE ", true));
    EXPECT_TRUE(log.WriteLogLine("plain", false));
    EXPECT_EQ(folder.read("Log.txt"), "earlier\r\n"
                                      "03.04.2007 09.05.07 TX: 06 00 00 F7 01 FE \r\n"
                                      "plain\r\n");
}

TEST_F(TrafficLogTest, SwitchingOnReplacesAnOldFileEvenWhenReadOnly)
{
    folder.write("Log.txt", "old traffic\r\n");
    QFile::setPermissions(folder.file("Log.txt"), QFile::ReadOwner | QFile::ReadUser);

    log.SetLogging(true);

    const QByteArray content = folder.read("Log.txt");
    EXPECT_FALSE(content.contains("old traffic"));
    EXPECT_EQ(Lines(content).size(), 6);
}

TEST_F(TrafficLogTest, SwitchingOffKeepsTheFileAndOnAgainStartsAFreshOne)
{
    log.SetLogging(true);
    log.WriteLogLine("TX: 01 ", true);
    log.SetLogging(false);
    EXPECT_FALSE(log.LogOn);
    const QByteArray kept = folder.read("Log.txt");
    EXPECT_EQ(Lines(kept).size(), 7);

    log.SetClock([] { return QDateTime(QDate(2007, 4, 3), QTime(10, 0, 0)); });
    log.SetLogging(true);
    const QByteArray fresh = folder.read("Log.txt");
    EXPECT_EQ(Lines(fresh).size(), 6);
    EXPECT_FALSE(fresh.contains("TX: 01"));
    EXPECT_TRUE(fresh.contains("Start time : 03.04.2007 10.00.00"));
}

TEST(TrafficLogFailures, UnwritableLogIsSkippedSilently)
{
    TestFolder folder;
    // A folder in the place of the file: it can be neither deleted as a
    // file nor opened for appending, not even by an administrator.
    ASSERT_TRUE(QDir(folder.path()).mkdir("Log.txt"));
    TrafficLog log(folder.file("Log.txt"));
    log.SetLogging(true);
    EXPECT_TRUE(log.LogOn);
    EXPECT_TRUE(log.WriteLogLine("TX: 01 ", true));
    EXPECT_TRUE(QFileInfo(folder.file("Log.txt")).isDir());

    TrafficLog missingFolder(folder.file("no/such/folder/Log.txt"));
    missingFolder.SetLogging(true);
    EXPECT_TRUE(missingFolder.WriteLogLine("RX: 01 ", true));
    EXPECT_FALSE(QFile::exists(folder.file("no/such/folder/Log.txt")));
}

} // namespace
} // namespace vlboot
