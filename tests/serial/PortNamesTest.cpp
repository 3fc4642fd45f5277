#include "PortNames.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace vlboot {
namespace {

using test::TestFolder;

#if defined(Q_OS_WIN)

TEST(PortNames, WindowsUsesTheComName)
{
    TestFolder folder;
    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_EQ(PortDevicePath(1, ini), "COM1");
    EXPECT_EQ(PortDevicePath(16, ini), "COM16");
}

#else

TEST(PortNames, WithoutMapPortsAreTheStandardSerialDevices)
{
    TestFolder folder;
    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_EQ(PortDevicePath(1, ini), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(2, ini), "/dev/ttyS1");
    EXPECT_EQ(PortDevicePath(16, ini), "/dev/ttyS15");
    EXPECT_FALSE(folder.exists("setup.ini")) << "looking up a port must not create the settings file";
}

TEST(PortNames, PortsSectionMapsSomePortsAndLeavesTheFileAlone)
{
    TestFolder folder;
    const QByteArray content = "[ComSettings]\r\nComPort=3\r\n"
                               "[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM3 = /dev/pts/7 \r\nCOM4=\r\nCOM16=/dev/ttyACM1\r\n";
    folder.write("setup.ini", content);
    const IniFileHandler ini(folder.file("setup.ini"));

    EXPECT_EQ(PortDevicePath(1, ini), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath(2, ini), "/dev/ttyS1");
    EXPECT_EQ(PortDevicePath(3, ini), "/dev/pts/7");
    EXPECT_EQ(PortDevicePath(4, ini), "/dev/ttyS3") << "an empty value counts as missing";
    EXPECT_EQ(PortDevicePath(16, ini), "/dev/ttyACM1");
    EXPECT_EQ(folder.read("setup.ini"), content) << "nothing is written to the settings file";
}

#endif

TEST(PortNames, NumbersOutsideOneToSixteenHaveNoDevice)
{
    TestFolder folder;
    folder.write("setup.ini", "[Ports]\r\nCOM0=/dev/ttyUSB0\r\nCOM17=/dev/ttyUSB1\r\n");
    const IniFileHandler ini(folder.file("setup.ini"));
    EXPECT_EQ(PortDevicePath(0, ini), "");
    EXPECT_EQ(PortDevicePath(17, ini), "");
    EXPECT_EQ(PortDevicePath(-1, ini), "");
}

} // namespace
} // namespace vlboot
