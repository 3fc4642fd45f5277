#include "IniText.h"

#include <gtest/gtest.h>

using namespace vlboot;

namespace {
const QByteArray Sample =
    "; settings of the bootloader\r\n"
    "[ComSettings]\r\n"
    "DevAdr=1\r\n"
    "Unknown=keep me\r\n"
    "\r\n"
    "[Other]\r\n"
    "ComPort=9\r\n"
    "[AmpCom]\r\n"
    "Debug=0\r\n";
}

TEST(IniLookup, NamesMatchInAnyCaseAndTheFirstSectionCounts)
{
    EXPECT_EQ(IniLookup(Sample, u"comsettings", u"DEVADR"), "1");
    EXPECT_EQ(IniLookup(Sample, u"ComSettings", u"Unknown"), "keep me");
    EXPECT_FALSE(IniLookup(Sample, u"ComSettings", u"ComPort")); // belongs to [Other]
    EXPECT_FALSE(IniLookup(Sample, u"Missing", u"DevAdr"));
    EXPECT_FALSE(IniLookup(QByteArray(), u"ComSettings", u"DevAdr"));
    EXPECT_EQ(IniLookup("[A]\nk=1\n[a]\nk=2\n", u"A", u"k"), "1");
}

TEST(IniLookup, ValuesAreTakenAsTypedWithoutQuotingOrEscapes)
{
    const QByteArray text = "[Velmsettings]\nFirmwareFile = C:\\fw\\amp.ldr \nQuoted=\"x\"\nEmpty=\n";
    EXPECT_EQ(IniLookup(text, u"Velmsettings", u"FirmwareFile"), "C:\\fw\\amp.ldr");
    EXPECT_EQ(IniLookup(text, u"Velmsettings", u"Quoted"), "\"x\"");
    EXPECT_EQ(IniLookup(text, u"Velmsettings", u"Empty"), "");
}

TEST(IniLookup, CommentsAndStrayLinesAreNotKeys)
{
    const QByteArray text = "[S]\n;k=1\n#k=2\nno equals sign\n=novalue\nk=3\n";
    EXPECT_EQ(IniLookup(text, u"S", u"k"), "3");
}

TEST(IniStore, ReplacesInPlaceAndKeepsEveryOtherLine)
{
    const QByteArray out = IniStore(Sample, u"COMSETTINGS", u"devadr", u"12");
    EXPECT_EQ(out,
              "; settings of the bootloader\r\n"
              "[ComSettings]\r\n"
              "DevAdr=12\r\n"
              "Unknown=keep me\r\n"
              "\r\n"
              "[Other]\r\n"
              "ComPort=9\r\n"
              "[AmpCom]\r\n"
              "Debug=0\r\n");
}

TEST(IniStore, NewKeyGoesAfterTheLastKeyOfItsSection)
{
    const QByteArray out = IniStore(Sample, u"ComSettings", u"ComSpeed", u"9600");
    EXPECT_EQ(out.indexOf("ComSpeed=9600\r\n"), out.indexOf("Unknown=keep me\r\n") + 17);
    EXPECT_TRUE(out.contains("ComSpeed=9600\r\n\r\n[Other]"));
}

TEST(IniStore, NewSectionGoesAtTheEndAndLfFilesBecomeCrLf)
{
    const QByteArray out = IniStore("[A]\nx=1", u"Velmsettings", u"Serial", u"1000");
    EXPECT_EQ(out, "[A]\r\nx=1\r\n[Velmsettings]\r\nSerial=1000\r\n");
    EXPECT_EQ(IniStore(QByteArray(), u"S", u"k", u"v"), "[S]\r\nk=v\r\n");
    EXPECT_EQ(IniStore("[S]\r\n", u"S", u"k", u"v"), "[S]\r\nk=v\r\n");
}

TEST(IniStore, AValueStaysOneLine)
{
    const QByteArray out = IniStore(QByteArray(), u"S", u"k", u"a\r\nb");
    EXPECT_EQ(out, "[S]\r\nk=ab\r\n");
}
