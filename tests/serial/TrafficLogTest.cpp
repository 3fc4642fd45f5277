// Log.txt: its banner, its time-stamped lines, and what switching it on and
// off does to the file; a log that cannot be written is skipped.
#include "TestFiles.h"
#include "TrafficLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

namespace {

QDateTime at(int hour, int minute, int second)
{
    return QDateTime(QDate(2007, 4, 3), QTime(hour, minute, second));
}

} // namespace

TEST(TrafficLog, BannerStampedLinesAndAFreshFileAtEverySwitchOn)
{
    TestFolder folder;
    QDateTime now = at(9, 5, 7);
    TrafficLog log(folder.file("Log.txt"), [&] { return now; });
    EXPECT_EQ(log.TimeStamp(), "03.04.2007 09.05.07");

    folder.write("Log.txt", "old traffic\r\n");
    QFile::setPermissions(folder.file("Log.txt"), QFile::ReadOwner); // replaced even when read-only
    log.SetLogging(true);
    log.WriteLogLine("TX: 06 00 00 F7 01 FE ", true);
    log.WriteLogLine("plain", false);
    const QByteArrayList banner = {
        "***********************************************************************************************************",
        "*   Logfile for serial comunication between PC and Vestholm products                                      *",
        "*                                                                                                         *",
        "*   Start time : 03.04.2007 09.05.07                                                                      *",
        "*                                                                                                         *",
        "***********************************************************************************************************",
    };
    EXPECT_EQ(folder.read("Log.txt"), (banner + QByteArrayList{"03.04.2007 09.05.07 TX: 06 00 00 F7 01 FE ", "plain", ""}).join("\r\n"));

    log.SetLogging(false); // off keeps the file
    EXPECT_TRUE(folder.read("Log.txt").endsWith("plain\r\n"));
    now = at(10, 0, 0);
    log.SetLogging(true); // on again starts a fresh one
    EXPECT_EQ(folder.read("Log.txt").count("\r\n"), 6);
    EXPECT_TRUE(folder.read("Log.txt").contains("Start time : 03.04.2007 10.00.00"));
}

TEST(TrafficLog, ALogThatCannotBeWrittenIsSkippedSilently)
{
    TestFolder folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("Log.txt")); // neither deleted as a file nor appended to, even by root
    for (const QString& path : {folder.file("Log.txt"), folder.file("no/such/folder/Log.txt")}) {
        TrafficLog log(path);
        log.SetLogging(true);
        EXPECT_TRUE(log.LogOn);
        EXPECT_TRUE(log.WriteLogLine("TX: 01 ", true));
    }
    EXPECT_TRUE(QFileInfo(folder.file("Log.txt")).isDir());
    EXPECT_FALSE(QFile::exists(folder.file("no/such/folder/Log.txt")));
}
