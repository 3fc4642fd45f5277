#include "PortList.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::cli;

namespace {

PortEntry usbAdapter()
{
    return {"/dev/ttyUSB0", "FT232R USB UART", quint16(0x0403), quint16(0x6001), "A50285BI"};
}

PortEntry builtIn(int n)
{
    return {QStringLiteral("/dev/ttyS%1").arg(n), QString(), std::nullopt, std::nullopt, QString()};
}

QString lineOf(const QStringList& lines, const QString& start)
{
    for (const QString& line : lines) {
        if (line.startsWith(start))
            return line;
    }
    return {};
}

} // namespace

TEST(PortList, EachPortWithItsIdsAndTheComNumbersMappedToIt)
{
    test::TestFolder folder;
    folder.write("setup.ini", "[Ports]\nCOM1=/dev/ttyUSB0\nCOM4=/dev/ttyUSB0\n");
    const IniFileHandler ini(folder.file("setup.ini"));
    const QStringList lines = PortListing({usbAdapter(), builtIn(0), builtIn(1)}, ini);

    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("DEVICE"));
    const QString usb = lineOf(lines, "/dev/ttyUSB0");
    for (const char* part : {"FT232R USB UART", "0403:6001", "A50285BI"})
        EXPECT_TRUE(usb.contains(QLatin1String(part))) << usb.toStdString();
    EXPECT_TRUE(usb.endsWith("COM1,COM4")) << usb.toStdString();
    // COM1 went to the adapter, so /dev/ttyS0 stands for no COM; /dev/ttyS1 is COM2 by default.
    EXPECT_TRUE(lineOf(lines, "/dev/ttyS0").endsWith(" -")) << lineOf(lines, "/dev/ttyS0").toStdString();
    EXPECT_TRUE(lineOf(lines, "/dev/ttyS1").endsWith("COM2"));
}

TEST(PortList, MappedDevicesThatAreNotThereAreMarkedMissing)
{
    test::TestFolder folder;
    folder.write("setup.ini", QStringLiteral("[Ports]\nCOM2=/dev/ttyUSB7\nCOM3=%1\n").arg(folder.file("fake-tty")).toUtf8());
    folder.write("fake-tty", "");
    const IniFileHandler ini(folder.file("setup.ini"));
    const QStringList lines = PortListing({}, ini);

    EXPECT_TRUE(lines.contains("(no serial ports found)"));
    EXPECT_TRUE(lines.contains("COM2 = /dev/ttyUSB7 (from [Ports]): missing")) << lines.join('\n').toStdString();
    const QString present = lineOf(lines, "COM3 = ");
    EXPECT_FALSE(present.contains("missing")) << present.toStdString();
    EXPECT_TRUE(present.contains("not a serial port the system lists"));
}

TEST(PortList, IdsArePaddedHexAndAbsentOnesShowADash)
{
    test::TestFolder folder;
    const IniFileHandler ini(folder.file("setup.ini"));
    PortEntry partial{"/dev/ttyACM0", "", quint16(0x1a), std::nullopt, ""};
    const QStringList lines = PortListing({partial, builtIn(5)}, ini);
    EXPECT_TRUE(lineOf(lines, "/dev/ttyACM0").contains("001a:????")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lineOf(lines, "/dev/ttyS5").contains("COM6"));
}

TEST(PortList, ListingWritesNothingIntoTheSettings)
{
    test::TestFolder folder;
    const QByteArray settings = "[ComSettings]\nComPort=3\n";
    folder.write("setup.ini", settings);
    PortListing({usbAdapter()}, IniFileHandler(folder.file("setup.ini")));
    EXPECT_EQ(folder.read("setup.ini"), settings);

    test::TestFolder empty;
    PortListing({usbAdapter()}, IniFileHandler(empty.file("setup.ini")));
    EXPECT_FALSE(empty.exists("setup.ini"));
}
