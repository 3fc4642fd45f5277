#pragma once

#include "DeviceProtocol.h"
#include "FakeWaitClock.h"
#include "ModelLink.h"
#include "Settings.h"
#include "StopRequest.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace vlboot::test {

// Bytes from hexadecimal text, "05 01 00 00 06".
inline QByteArray Bytes(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// A device protocol whose far end answers from a script, with settings in
// a fresh folder and a clock that costs no real time.
struct ScriptedProtocolTest : ::testing::Test {
    TestFolder dir;
    Settings settings{dir.path()};
    sim::ModelLink link;
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
