#include "IniFileHandler.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

TEST(IniFileHandler, MissingKeyWritesItsDefault)
{
    TestFolder dir;
    IniFileHandler ini(dir.file("setup.ini"));
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", "1"), "1");
    EXPECT_EQ(dir.read("setup.ini"), "[ComSettings]\r\nDevAdr=1\r\n");
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", "5"), "1");
}

TEST(IniFileHandler, EmptyDefaultWritesNothingAndEmptyValueCountsAsMissing)
{
    TestFolder dir;
    dir.write("setup.ini", "[ComSettings]\nDevAdr=\n");
    IniFileHandler ini(dir.file("setup.ini"));
    EXPECT_EQ(ini.ReadIni("Ports", "COM1", ""), "");
    EXPECT_EQ(dir.read("setup.ini"), "[ComSettings]\nDevAdr=\n");
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", "1"), "1");
    EXPECT_EQ(dir.read("setup.ini"), "[ComSettings]\r\nDevAdr=1\r\n");
}

TEST(IniFileHandler, LongValuesAreCutAt254OnReading)
{
    TestFolder dir;
    IniFileHandler ini(dir.file("setup.ini"));
    const QString longValue(300, u'x');
    EXPECT_TRUE(ini.WriteIni("S", "k", longValue));
    EXPECT_EQ(ini.ReadIni("S", "k", "").size(), 254);
    EXPECT_TRUE(dir.read("setup.ini").contains(longValue.toUtf8())); // stored whole
}

TEST(IniFileHandler, MissingFolderGivesDefaultsWithoutCrashing)
{
    IniFileHandler ini("/nonexistent-folder-of-vlboot/setup.ini");
    EXPECT_EQ(ini.ReadIni("ComSettings", "ComPort", "1"), "1");
    EXPECT_FALSE(ini.WriteIni("ComSettings", "ComPort", "2"));

    TestFolder dir; // a file where the folder should be
    dir.write("plain", "x");
    IniFileHandler inFile(dir.file("plain/setup.ini"));
    EXPECT_EQ(inFile.ReadIni("ComSettings", "ComPort", "1"), "1");
    EXPECT_FALSE(inFile.WriteIni("ComSettings", "ComPort", "2"));
    EXPECT_EQ(dir.read("plain"), "x");
}

TEST(IniFileHandler, UnreadableFileIsNotReplaced)
{
    TestFolder dir;
    QFile::remove(dir.file("setup.ini"));
    // A folder where the file should be: it exists but cannot be read as a file.
    ASSERT_TRUE(QDir(dir.path()).mkdir("setup.ini"));
    IniFileHandler ini(dir.file("setup.ini"));
    EXPECT_FALSE(ini.WriteIni("S", "k", "v"));
    EXPECT_TRUE(QFileInfo(dir.file("setup.ini")).isDir());
}
