#include "SimDump.h"
#include "SimOptions.h"
#include "Frames.h"

#include <QFile>
#include <gtest/gtest.h>

#include "TestFiles.h"

using namespace vlboot::sim;

namespace {

std::optional<SimOptions> Parse(std::vector<std::string> args, std::string* errorOut = nullptr)
{
    std::string error;
    auto options = ParseSimOptions(args, error);
    if (errorOut)
        *errorOut = error;
    EXPECT_EQ(options.has_value(), error.empty()) << error;
    return options;
}

TEST(SimOptions, DefaultsAndEveryOption)
{
    const auto plain = Parse({});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->device, DeviceKind::Amplifier);
    EXPECT_EQ(plain->baud, 0);
    EXPECT_TRUE(plain->dumpDir.empty());

    const auto full = Parse({"--device", "fixture", "--baud", "115200", "--dump", "/tmp/x",
                             "--fault", "write:3:status=0x15", "--fault", "boot-enter:0:no-confirm",
                             "--ignore-stdin"});
    ASSERT_TRUE(full);
    EXPECT_EQ(full->device, DeviceKind::Fixture);
    EXPECT_EQ(full->baud, 115200);
    EXPECT_EQ(full->dumpDir, "/tmp/x");
    EXPECT_TRUE(full->ignoreStdin);
    ASSERT_EQ(full->faults.size(), 2u);
    EXPECT_EQ(full->faults[0].request, Request::MemoryWrite);
    EXPECT_EQ(full->faults[0].occurrence, 3);
    EXPECT_EQ(full->faults[0].fault.kind, FaultKind::ErrorStatus);
    EXPECT_EQ(full->faults[0].fault.status, 0x15);
    EXPECT_EQ(full->faults[1].request, Request::BootEnter);
    EXPECT_EQ(full->faults[1].occurrence, 0);

    EXPECT_EQ(Parse({"--device", "silent"})->device, DeviceKind::Silent);
    EXPECT_TRUE(Parse({"--help"})->help);
    EXPECT_TRUE(Parse({"--version"})->version);
}

TEST(SimOptions, BadUsageIsExplained)
{
    std::string error;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--device"}, {"--device", "toaster"}, {"--baud", "0"}, {"--baud", "fast"},
             {"--baud", "-9600"}, {"--dump", ""}, {"--fault", "write:1"}, {"--frobnicate"}}) {
        EXPECT_FALSE(Parse(args, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimOptions, FaultArgumentsAndDefaults)
{
    std::string error;
    const auto chunked = ParseFaultOption("crc-read:2:chunked=3", error);
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->request, Request::CrcRead);
    EXPECT_EQ(chunked->fault.chunkSize, 3);
    EXPECT_EQ(ParseFaultOption("detect:1:chunked", error)->fault.chunkSize, 1);
    EXPECT_EQ(ParseFaultOption("erase:1:status", error)->fault.status, 0x14);
    EXPECT_EQ(ParseFaultOption("erase:1:status=21", error)->fault.status, 21);
    EXPECT_EQ(ParseFaultOption("boot-enter:1:bad-confirm", error)->fault.status, 0x00);
    EXPECT_EQ(ParseFaultOption("boot-enter:1:bad-confirm=0x14", error)->fault.status, 0x14);

    const std::pair<const char*, FaultKind> kinds[] = {
        {"program:1:silence", FaultKind::Silence},       {"boot-exit:1:stray", FaultKind::StrayByte},
        {"crc-write:1:wrong-length", FaultKind::WrongLength}, {"write:9:short", FaultKind::ShortReply},
        {"write:9:oversized", FaultKind::Oversized},     {"boot-enter:1:no-confirm", FaultKind::NoBootConfirm},
        {"detect:1:garbage", FaultKind::Garbage},
    };
    for (const auto& [text, kind] : kinds) {
        const auto f = ParseFaultOption(text, error);
        ASSERT_TRUE(f) << text << ": " << error;
        EXPECT_EQ(f->fault.kind, kind) << text;
    }
}

TEST(SimOptions, MalformedFaultsAreRefused)
{
    for (const char* text : {"", "write", "write:1", "reboot:1:silence", "write:x:silence", "write:-1:silence",
                             "write:1:explode", "write:1:status=256", "write:1:status=0x", "write:1:chunked=0",
                             "write:1:silence=2", "write:1:status=1x"}) {
        std::string error;
        EXPECT_FALSE(ParseFaultOption(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(SimOptions, Numbers)
{
    EXPECT_EQ(ParseNumber("0x1F", 255), 31);
    EXPECT_EQ(ParseNumber("255", 255), 255);
    EXPECT_FALSE(ParseNumber("256", 255));
    EXPECT_FALSE(ParseNumber("", 255));
    EXPECT_FALSE(ParseNumber("0x", 255));
    EXPECT_FALSE(ParseNumber("1 ", 255));
}

TEST(SimDump, FileNamesFollowTheDevice)
{
    using vlboot::sim::test::Write;
    using vlboot::sim::test::Program;
    using vlboot::sim::test::CrcWrite;
    using vlboot::sim::test::Bytes;

    DeviceModel amp(DeviceKind::Amplifier);
    amp.Receive(Write(0, Bytes({0x12})) + Program(7) + Program(0) + Program(7) + CrcWrite());
    EXPECT_EQ(DumpFileNames(amp), (std::vector<std::string>{"block-000.bin", "block-007.bin", "block-042.bin"}));
    EXPECT_EQ(DumpFileNames(DeviceModel(DeviceKind::Fixture)), std::vector<std::string>{"memory.bin"});
    EXPECT_TRUE(DumpFileNames(DeviceModel(DeviceKind::Silent)).empty());

    vlboot::test::TestFolder folder;
    std::string error;
    ASSERT_TRUE(WriteDump(amp, folder.file("out/sub").toStdString(), error)) << error;
    EXPECT_EQ(folder.read("out/sub/block-000.bin"), amp.Flash().at(0));
    EXPECT_EQ(folder.read("out/sub/block-007.bin").size(), DeviceModel::MemorySize);

    folder.write("plain", "x");
    EXPECT_FALSE(WriteDump(amp, folder.file("plain").toStdString(), error));
    EXPECT_FALSE(error.empty());
}

} // namespace
