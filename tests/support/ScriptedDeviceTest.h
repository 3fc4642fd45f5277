#pragma once

#include "CommandTable.h"
#include "FakeWaitClock.h"
#include "ScriptedLink.h"
#include "Settings.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace vlboot::test {

// A protocol object (DeviceProtocol or Bootloader) talking to a scripted far
// end, with settings in a fresh folder and a clock that costs no real time.
template <class Device>
struct ScriptedDeviceTest : ::testing::Test {
    TestFolder dir;
    Settings settings{dir.path()};
    ScriptedLink link;
    FakeWaitClock clock;
    Device device{link, settings, clock};

    void SetUp() override { RSfunctions::InitCommandTable(); }
};

} // namespace vlboot::test
