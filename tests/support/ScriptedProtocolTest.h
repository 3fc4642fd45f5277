#pragma once

#include "DeviceProtocol.h"
#include "FakeWaitClock.h"
#include "ScriptedLink.h"
#include "Settings.h"
#include "StopRequest.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace vlboot::test {

// A device protocol talking to a scripted far end, with settings in a fresh
// folder and a clock that costs no real time.
struct ScriptedProtocolTest : ::testing::Test {
    TestFolder dir;
    Settings settings{dir.path()};
    ScriptedLink link;
    FakeWaitClock clock;
    StopRequest stop;
    DeviceProtocol protocol{link, settings, clock, stop};

    // Scripts the reply ("" is silence) to the next frame.
    void reply(const char* hex)
    {
        link.Script.push_back(*hex ? std::vector<QByteArray>{Bytes(hex)} : std::vector<QByteArray>{});
    }
};

} // namespace vlboot::test
