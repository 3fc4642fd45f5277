#include "CliOptions.h"

#include <gtest/gtest.h>

using namespace vlboot::cli;

namespace {

CliParse parse(const QStringList& args)
{
    return ParseCliOptions(args);
}

// The error of a refused command line ("" when it was accepted).
QString refusal(const QStringList& args)
{
    const CliParse p = parse(args);
    return p.options ? QString() : p.error;
}

} // namespace

TEST(CliOptions, NoArgumentsKeepTheSettings)
{
    const CliParse p = parse({});
    ASSERT_TRUE(p.options);
    EXPECT_TRUE(p.options->configDir.isEmpty());
    EXPECT_FALSE(p.options->comPort);
    EXPECT_TRUE(p.options->portDevice.isEmpty());
    EXPECT_FALSE(p.options->speedIndex);
    EXPECT_FALSE(p.options->address);
    EXPECT_EQ(p.options->replyTimeout, 12.0);
    EXPECT_TRUE(p.options->firmwareFile.isEmpty());
    EXPECT_FALSE(p.options->log || p.options->quiet || p.options->json || p.options->listPorts || p.options->help
                 || p.options->version);
}

TEST(CliOptions, PortNumbersAndComNamesAtTheEdges)
{
    EXPECT_EQ(ParsePortArgument("1")->number, 1);
    EXPECT_EQ(ParsePortArgument("16")->number, 16);
    EXPECT_EQ(ParsePortArgument("COM1")->number, 1);
    EXPECT_EQ(ParsePortArgument("COM16")->number, 16);
    EXPECT_EQ(ParsePortArgument("com3")->number, 3);
    EXPECT_EQ(ParsePortArgument("Com12")->number, 12);
    for (const char* bad : {"0", "17", "COM0", "COM17", "COM", "COMx", "com-1", "-1", "+3", "1.5", "3 ", "abc", "", "100",
                            "ttyUSB0"})
        EXPECT_FALSE(ParsePortArgument(QString::fromLatin1(bad))) << bad;
}

TEST(CliOptions, PortDevicePathIsTakenAsItIs)
{
    const auto port = ParsePortArgument("/dev/pts/7");
    ASSERT_TRUE(port);
    EXPECT_FALSE(port->number);
    EXPECT_EQ(port->devicePath, "/dev/pts/7");
    EXPECT_EQ(ParsePortArgument("./ttyFake")->devicePath, "./ttyFake");

    const CliParse p = parse({"--port", "/dev/ttyUSB0"});
    ASSERT_TRUE(p.options);
    EXPECT_FALSE(p.options->comPort);
    EXPECT_EQ(p.options->portDevice, "/dev/ttyUSB0");
    EXPECT_EQ(parse({"--port=COM16"}).options->comPort, 16);
}

TEST(CliOptions, SpeedsAreTheThreeBaudRates)
{
    EXPECT_EQ(ParseSpeedArgument("9600"), 0);
    EXPECT_EQ(ParseSpeedArgument("57600"), 1);
    EXPECT_EQ(ParseSpeedArgument("115200"), 2);
    // The menu's caption of the fastest speed is not a speed.
    for (const char* bad : {"115000", "0", "1", "2", "19200", "9600.0", " 9600", "", "fast"})
        EXPECT_FALSE(ParseSpeedArgument(QString::fromLatin1(bad))) << bad;
}

TEST(CliOptions, ReplyTimeoutMustBePositiveSeconds)
{
    EXPECT_EQ(ParseReplyTimeout("1"), 1.0);
    EXPECT_EQ(ParseReplyTimeout("0.25"), 0.25);
    EXPECT_EQ(ParseReplyTimeout("3600"), 3600.0);
    for (const char* bad : {"0", "0.0", "-1", "3600.5", "abc", "1s", "", "nan", "inf", "1e3"})
        EXPECT_FALSE(ParseReplyTimeout(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(parse({"--reply-timeout", "0.5"}).options->replyTimeout, 0.5);
}

TEST(CliOptions, AddressIsAWholeNumberOfSixteenBits)
{
    EXPECT_TRUE(IsValidAddress("0"));
    EXPECT_TRUE(IsValidAddress("65535"));
    for (const char* bad : {"65536", "-1", "1.5", "12abc", "abc", ""})
        EXPECT_FALSE(IsValidAddress(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(parse({"--address", "7"}).options->address, "7");
}

TEST(CliOptions, BadValuesAreRefusedWithTheirReason)
{
    EXPECT_TRUE(refusal({"--port", "0"}).contains("'0'"));
    EXPECT_TRUE(refusal({"--port", "17"}).contains("COM1..COM16"));
    EXPECT_TRUE(refusal({"--speed", "115000"}).contains("9600, 57600 or 115200"));
    EXPECT_TRUE(refusal({"--reply-timeout", "0"}).contains("above 0"));
    EXPECT_TRUE(refusal({"--address", "70000"}).contains("0 to 65535"));
    EXPECT_FALSE(refusal({"--config-dir", ""}).isEmpty());
}

TEST(CliOptions, MalformedCommandLinesAreRefused)
{
    EXPECT_FALSE(refusal({"--bogus"}).isEmpty());
    EXPECT_FALSE(refusal({"--port"}).isEmpty()); // no value
    EXPECT_TRUE(refusal({"a.ldr", "b.ldr"}).contains("Only one firmware file"));
    EXPECT_TRUE(refusal({"--port", "1", "--port", "2"}).contains("more than once"));
    EXPECT_FALSE(refusal({""}).isEmpty());
}

TEST(CliOptions, FlagsAndFirmwareFile)
{
    const CliParse p = parse({"--log", "--quiet", "--json", "--config-dir", "/tmp/x", "--speed", "57600", "fw.ldr"});
    ASSERT_TRUE(p.options);
    EXPECT_TRUE(p.options->log && p.options->quiet && p.options->json);
    EXPECT_EQ(p.options->configDir, "/tmp/x");
    EXPECT_EQ(p.options->speedIndex, 1);
    EXPECT_EQ(p.options->firmwareFile, "fw.ldr");
    EXPECT_TRUE(parse({"--list-ports"}).options->listPorts);
    EXPECT_TRUE(parse({"--help"}).options->help);
    EXPECT_TRUE(parse({"--version"}).options->version);
    // A file name that looks like an option, after "--".
    EXPECT_EQ(parse({"--", "--odd.ldr"}).options->firmwareFile, "--odd.ldr");
}
