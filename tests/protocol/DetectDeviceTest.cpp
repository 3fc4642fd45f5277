#include "CommandTable.h"
#include "DeviceProtocol.h"
#include "FakeWaitClock.h"
#include "ScriptedLink.h"
#include "Settings.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

TEST(DetectDevice, ClassifiesEachKindOfReply)
{
    RSfunctions::InitCommandTable();
    const struct {
        const char* reply;
        std::uint8_t type;
        std::uint8_t opState;
    } cases[] = {
        {"08 01 00 00 FF FF FF 06", DeviceTypes::Fixture, OpStates::Started},
        {"08 01 00 13 FF FF FF 19", DeviceTypes::Fixture, OpStates::Started},
        {"08 01 00 00 02 05 01 11", DeviceTypes::Amplifier, OpStates::Started},
        {"08 01 00 00 FF FF 00 07", DeviceTypes::Amplifier, OpStates::Started},
        {"08 01 00 01 FF FF FF 07", DeviceTypes::None, OpStates::DetectFailed},
        {"06 01 00 00 FF 06", DeviceTypes::None, OpStates::DetectFailed},
        {"07 01 00 00 FF FF FF", DeviceTypes::Fixture, OpStates::Started},
        {"", DeviceTypes::None, OpStates::Timeout},
    };
    for (const auto& c : cases) {
        TestFolder dir;
        Settings settings(dir.path());
        ScriptedLink link;
        FakeWaitClock clock;
        DeviceProtocol protocol(link, settings, clock);
        if (*c.reply)
            link.Script.push_back({Bytes(c.reply)});
        EXPECT_EQ(protocol.DetectDevice(), c.type) << c.reply;
        EXPECT_EQ(protocol.OpState, c.opState) << c.reply;
        ASSERT_EQ(link.Sent.size(), 1u);
        EXPECT_EQ(link.Sent[0], Bytes("09 01 00 F8 04 23 10 37 70"));
    }
}
