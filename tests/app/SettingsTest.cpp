// setup.ini: reading numbers from its texts, the file format, reading and
// writing keys with their defaults, the start-up reading, the lock.
#include "IniFileHandler.h"
#include "IniText.h"
#include "NumberText.h"
#include "Settings.h"
#include "SettingsLock.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

TEST(NumberText, LeadingNumbersWholeNumbersAndRounding)
{
    const struct {
        const char16_t* text;
        double value;
        bool numeric;
    } cases[] = {
        {u"12abc", 12, false}, {u" 7", 7, true},   {u"\t 7 8", 7, false}, {u"-3", -3, true},      {u"+4x", 4, false},
        {u"-1.5x", -1.5, false}, {u".25", 0.25, true}, {u"3.", 3, true},  {u"1.2.3", 1.2, false}, {u"1.x", 1, false},
        {u"", 0, false},       {u"?", 0, false},   {u"-", 0, false},      {u"x12", 0, false},     {u" 73 ", 73, true},
        {u"1 2", 1, false},    {u"\n5", 0, false}, {u"5\r\n", 5, false},  {u"\u00A05", 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumberValue(c.text), c.value) << QString::fromUtf16(c.text).toStdString();
        EXPECT_EQ(IsNumeric(c.text), c.numeric) << QString::fromUtf16(c.text).toStdString();
    }
    for (const auto& [v, r] : std::initializer_list<std::pair<double, double>>{{0.5, 0}, {1.5, 2}, {2.5, 2}, {-1.5, -2}, {2.51, 3}})
        EXPECT_EQ(RoundHalfEven(v), r) << v;
    EXPECT_EQ(ToInt32HalfEven(2147483647.0), 2147483647);
    EXPECT_FALSE(ToInt32HalfEven(2147483648.0));
    EXPECT_FALSE(ToInt32HalfEven(2501150001.0));

    // Written without an exponent, reading back as the same number.
    EXPECT_EQ(NumberText(0.00001), "0.00001");
    for (const double v : {-3.0, 1.5, 0.1 + 0.2, -1.25e-7, 4503599627370497.0, 1e300}) {
        const QString t = NumberText(v);
        EXPECT_TRUE(IsNumeric(t) && NumberValue(t) == v) << t.toStdString();
    }
}

TEST(IniText, NamesInAnyCaseValuesAsTypedEveryOtherLineKept)
{
    const QByteArray sample = "; comment\r\n[ComSettings]\r\nDevAdr=1\r\nUnknown = keep me \r\n;k=1\r\n\r\n"
                              "[Other]\r\nComPort=9\r\n[comsettings]\r\nDevAdr=2\r\n";
    EXPECT_EQ(IniLookup(sample, u"COMSETTINGS", u"devadr"), "1"); // the first section counts
    EXPECT_EQ(IniLookup(sample, u"ComSettings", u"Unknown"), "keep me");
    EXPECT_FALSE(IniLookup(sample, u"ComSettings", u"ComPort"));
    EXPECT_FALSE(IniLookup(sample, u"ComSettings", u"k")); // a comment
    EXPECT_EQ(IniLookup("[S]\nq=\"x\"\ne=\n", u"S", u"q"), "\"x\"");

    QByteArray replaced = sample;
    replaced.replace("DevAdr=1\r\n", "DevAdr=12\r\n");
    EXPECT_EQ(IniStore(sample, u"comsettings", u"DEVADR", u"12"), replaced);
    EXPECT_TRUE(IniStore(sample, u"ComSettings", u"ComSpeed", u"9600").contains("keep me \r\nComSpeed=9600\r\n;k=1"));
    EXPECT_EQ(IniStore("[A]\nx=1", u"Velmsettings", u"Serial", u"10"), "[A]\r\nx=1\r\n[Velmsettings]\r\nSerial=10\r\n");
    EXPECT_EQ(IniStore(QByteArray(), u"S", u"k", u"a\r\nb"), "[S]\r\nk=ab\r\n");

    const QByteArray marked = "\xEF\xBB\xBF[Velmsettings]\r\nSerial=41\r\n"; // a UTF-8 byte-order mark, as some editors save
    EXPECT_EQ(IniLookup(marked, u"Velmsettings", u"Serial"), "41");
    EXPECT_EQ(IniStore(marked, u"velmsettings", u"Serial", u"42"), "\xEF\xBB\xBF[Velmsettings]\r\nSerial=42\r\n");
    EXPECT_EQ(IniStore(marked, u"ComSettings", u"DevAdr", u"1"), marked + "[ComSettings]\r\nDevAdr=1\r\n");
    EXPECT_EQ(IniLookup("[S]\r\nk=\xEF\xBB\xBFv\r\n", u"S", u"k"), u"\uFEFFv"); // only the file's first bytes are a mark
}

TEST(IniFileHandler, ReadingWritesDefaultsAndWritingReplacesTheFileWhole)
{
    TestFolder dir;
    IniFileHandler ini(dir.file("setup.ini"));
    EXPECT_EQ(ini.ReadIni("ComSettings", "DevAdr", "1"), "1");
    EXPECT_EQ(ini.ReadIni("Ports", "COM1", ""), ""); // an empty default writes nothing
    EXPECT_EQ(dir.read("setup.ini"), "[ComSettings]\r\nDevAdr=1\r\n");
    EXPECT_TRUE(ini.WriteIni("S", "k", QString(300, u'x')));
    EXPECT_EQ(ini.ReadIni("S", "k", "").size(), 254); // cut on reading, stored whole
    dir.write("setup.ini", "[S]\nk=\n");
    EXPECT_EQ(ini.ReadIni("S", "k", "1"), "1"); // an empty value counts as missing
    EXPECT_EQ(dir.read("setup.ini"), "[S]\r\nk=1\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"setup.ini"}); // no lock, no temporary file left
}

TEST(IniFileHandler, FilesThatCannotBeReadOrWrittenGiveDefaultsAndAreLeftAlone)
{
    TestFolder dir;
    dir.write("plain", "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir("setup.ini")); // exists, cannot be read as a file
    for (const QString& path : {QStringLiteral("/nonexistent-folder-of-vlboot/setup.ini"), dir.file("plain/setup.ini"), dir.file("setup.ini")}) {
        IniFileHandler ini(path);
        EXPECT_EQ(ini.ReadIni("ComSettings", "ComPort", "1"), "1") << path.toStdString();
        EXPECT_FALSE(ini.WriteIni("ComSettings", "ComPort", "2")) << path.toStdString();
    }
    EXPECT_FALSE(IniFileHandler(dir.file("setup.ini")).Readable());
    EXPECT_EQ(dir.read("plain"), "x");
    EXPECT_TRUE(QFileInfo(dir.file("setup.ini")).isDir());
}

TEST(Settings, StartUpReadsPortSpeedAddressAndDebugWithTheirRules)
{
    // (The defaults a fresh start writes are met by the window program's start.)
    const struct {
        const char* key;
        const char* stored;
        int used;            // the port, the speed index, the debug switch
        const char* written; // "" when the text stays as it was
    } cases[] = {
        {"ComPort", "0", 1, "0"},      {"ComPort", "abc", 1, "0"},        {"ComPort", "17", 1, "17"},   {"ComPort", "16", 16, "16"},
        {"ComPort", "2.5", 2, "2"},    {"ComPort", "3.5", 4, "4"},        {"ComPort", "-2", 1, "-2"},   {"ComSpeed", "115000", 0, "9600"},
        {"ComSpeed", "57600", 1, ""},  {"ComSpeed", "115200 baud", 2, "115200"},                         {"Debug", "73", 1, ""},       {"Debug", " 73 ", 1, ""},
        {"Debug", "73.0", 1, ""},      {"Debug", "73abc", 0, ""},         {"Debug", "74", 0, ""},
    };
    for (const auto& c : cases) {
        TestFolder d;
        const QByteArray section = QByteArray(c.key) == "Debug" ? "AmpCom" : "ComSettings";
        d.write("setup.ini", "[" + section + "]\r\n" + c.key + "=" + c.stored + "\r\n");
        Settings s(d.path());
        int marked = -1;
        s.OnComPortSelected = s.OnComSpeedSelected = [&](int v) { marked = v; };
        s.ReadComSettings();
        const int used = QByteArray(c.key) == "ComPort" ? s.ComPort : QByteArray(c.key) == "ComSpeed" ? s.ComSpeed : s.ReadDebugSetting();
        EXPECT_EQ(used, c.used) << c.key << "=" << c.stored;
        if (QByteArray(c.key) == "ComSpeed") {
            EXPECT_EQ(marked, c.used) << c.stored; // the speed is marked last
        }
        const QByteArray expect = QByteArray(c.key) + "=" + (*c.written ? c.written : c.stored) + "\r\n";
        EXPECT_TRUE(d.read("setup.ini").contains(expect)) << expect.constData();
    }
}

TEST(SettingsLock, TakenAgainWhileHeldReleasedByTheOutermostAndBesideTheLinkedFile)
{
    TestFolder dir;
    const QString ini = dir.file("setup.ini");
    {
        SettingsLock outer(ini, 100);
        ASSERT_TRUE(outer.IsLocked());
        {
            SettingsLock inner(ini, 100);
            EXPECT_TRUE(inner.IsLocked());
        }
        EXPECT_TRUE(dir.exists("setup.ini.lock"));
    }
    EXPECT_FALSE(dir.exists("setup.ini.lock"));

    ASSERT_TRUE(QDir(dir.path()).mkdir("shared"));
    ASSERT_TRUE(QFile::link(dir.file("shared/setup.ini"), dir.file("link.ini")));
    const SettingsLock linked(dir.file("link.ini"), 100);
    EXPECT_TRUE(dir.exists("shared/setup.ini.lock"));
    EXPECT_FALSE(dir.exists("link.ini.lock"));
    EXPECT_TRUE(IniFileHandler(dir.file("link.ini")).WriteIni("Velmsettings", "Serial", "8")); // written through the link
    EXPECT_TRUE(QFileInfo(dir.file("link.ini")).isSymLink());
    EXPECT_EQ(dir.read("shared/setup.ini"), "[Velmsettings]\r\nSerial=8\r\n");
}
