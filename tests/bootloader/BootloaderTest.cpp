#include "Bootloader.h"
#include "CommandTable.h"
#include "FakeWaitClock.h"
#include "ScriptedDeviceTest.h"
#include "ScriptedLink.h"
#include "Settings.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <functional>
#include <numeric>

using namespace vlboot;
using namespace vlboot::test;

namespace {

struct BootloaderTest : ScriptedDeviceTest<Bootloader> {

    // Runs `op` against one scripted reply ("" = silence) and returns OpState.
    std::uint8_t run(const std::function<void()>& op, const char* reply)
    {
        if (*reply)
            link.Script.push_back({Bytes(reply)});
        else
            link.Script.push_back({});
        op();
        return device.OpState;
    }

    // The SFO message inside the last frame sent.
    QByteArray lastMessage() const
    {
        const QByteArray& f = link.Sent.back();
        return f.mid(4, f.size() - 5);
    }
};

const char* Ok5 = "05 01 00 00 06";
const char* Short4 = "04 01 00 00";

} // namespace

TEST_F(BootloaderTest, BootModeFramesAndTheirReplies)
{
    EXPECT_EQ(run([&] { device.EnterBootMode(); }, "05 01 00 02 08"), OpStates::Started); // error status is still success
    EXPECT_EQ(link.Sent.back(), Bytes("06 01 00 F7 01 FF"));
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());

    EXPECT_EQ(run([&] { device.ExitBootMode(); }, Ok5), OpStates::Started);
    EXPECT_EQ(link.Sent.back(), Bytes("06 01 00 F7 02 00"));
    EXPECT_EQ(link.ReceiveBuffer, Bytes(Ok5)); // the reply stays

    EXPECT_EQ(run([&] { device.EnterBootMode(); }, "00"), OpStates::Timeout);
    EXPECT_EQ(run([&] { device.ExitBootMode(); }, "05 01 00 00 06 06"), OpStates::Timeout);
    EXPECT_EQ(link.ReceiveBuffer.size(), 6); // not emptied after a time-out
}

TEST_F(BootloaderTest, MemoryWriteMessages)
{
    const std::uint8_t data[40] = {0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                   17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 0xEE, 0xEE};
    run([&] { device.WriteSFOmem(1, 0, data); }, Ok5);
    EXPECT_EQ(lastMessage(), Bytes("07 23 41 00 00 5A C5"));

    run([&] { device.WriteSFOmem(5, 0x1234, data); }, Ok5);
    EXPECT_EQ(lastMessage().size(), 11); // the 0xFF fill does not go on the wire
    EXPECT_EQ(lastMessage().mid(3, 2), Bytes("34 12"));

    run([&] { device.WriteSFOmem(32, 0xFFE0, data); }, Ok5);
    const QByteArray m = lastMessage();
    ASSERT_EQ(m.size(), 38);
    EXPECT_EQ(m.mid(3, 2), Bytes("E0 FF"));
    EXPECT_EQ(m.mid(5, 32), QByteArray(reinterpret_cast<const char*>(data), 32));
    EXPECT_EQ(link.Sent.back().size(), 43);
}

TEST_F(BootloaderTest, MemoryWriteOutcomes)
{
    const std::uint8_t data[32] = {};
    EXPECT_EQ(run([&] { device.WriteSFOmem(4, 0, data); }, Ok5), OpStates::Started);
    EXPECT_EQ(run([&] { device.WriteSFOmem(4, 0, data); }, "05 01 00 14 1A"), OpStates::WriteFailed);
    EXPECT_EQ(run([&] { device.WriteSFOmem(4, 0, data); }, Short4), OpStates::WriteFailed);
    EXPECT_EQ(run([&] { device.WriteSFOmem(4, 0, data); }, ""), OpStates::Timeout);
}

TEST_F(BootloaderTest, MemoryWriteArgumentsOutsideTheirLimitsSendNothing)
{
    const std::uint8_t data[33] = {};
    const struct {
        int n;
        std::int32_t adr;
        std::size_t len;
    } bad[] = {{0, 0, 32}, {33, 0, 33}, {-1, 0, 32}, {1, -1, 32}, {32, 65506, 32}, {4, 0, 3}};
    for (const auto& b : bad) {
        device.OpState = OpStates::Started;
        device.WriteSFOmem(b.n, b.adr, std::span<const std::uint8_t>(data, b.len));
        EXPECT_EQ(device.OpState, OpStates::WriteFailed) << b.n << " " << b.adr;
    }
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_EQ(clock.waits(), 0);
    // The last byte may stand at 65536 (the module takes the low 16 bits).
    EXPECT_EQ(run([&] { device.WriteSFOmem(32, 65505, data); }, Ok5), OpStates::Started);
}

TEST_F(BootloaderTest, BlockRequests)
{
    run([&] { device.EraseFlashBlockNo(3); }, Ok5);
    EXPECT_EQ(lastMessage(), Bytes("05 23 42 03 6D"));
    run([&] { device.WriteFlashBlockNo(3); }, Ok5);
    EXPECT_EQ(lastMessage(), Bytes("05 23 43 03 6E"));
    run([&] { device.EraseFlashBlockNo(42); }, Ok5);
    EXPECT_EQ(lastMessage().at(3), 42);
    run([&] { device.WriteFlashBlockNo(0); }, Ok5);
    EXPECT_EQ(lastMessage().at(3), 0);

    EXPECT_EQ(run([&] { device.EraseFlashBlockNo(1); }, Ok5), OpStates::Started);
    EXPECT_EQ(run([&] { device.EraseFlashBlockNo(1); }, Short4), OpStates::EraseFailed);
    EXPECT_EQ(run([&] { device.EraseFlashBlockNo(1); }, "05 01 00 15 1B"), OpStates::EraseFailed);
    EXPECT_EQ(run([&] { device.WriteFlashBlockNo(1); }, Short4), OpStates::ProgramFailed);
    EXPECT_EQ(run([&] { device.WriteFlashBlockNo(1); }, "05 01 00 15 1B"), OpStates::ProgramFailed);
    EXPECT_EQ(run([&] { device.WriteFlashBlockNo(1); }, ""), OpStates::Timeout);
}

TEST_F(BootloaderTest, CrcRequests)
{
    run([&] { device.GetCRCfromRAM(); }, "07 01 00 00 12 34 4E");
    EXPECT_EQ(lastMessage(), Bytes("04 23 44 6B"));
    EXPECT_EQ(device.OpState, OpStates::Started);
    run([&] { device.WriteFlashCRC(); }, Ok5);
    EXPECT_EQ(lastMessage(), Bytes("04 23 45 6C"));
    EXPECT_EQ(device.OpState, OpStates::Started);

    EXPECT_EQ(run([&] { device.GetCRCfromRAM(); }, "06 01 00 00 12 19"), OpStates::CrcFailed);
    EXPECT_EQ(run([&] { device.GetCRCfromRAM(); }, "07 01 00 03 12 34 51"), OpStates::CrcFailed);
    EXPECT_EQ(run([&] { device.GetCRCfromRAM(); }, ""), OpStates::Timeout);
    EXPECT_EQ(run([&] { device.WriteFlashCRC(); }, Short4), OpStates::EraseFailed);
    EXPECT_EQ(run([&] { device.WriteFlashCRC(); }, "05 01 00 09 0F"), OpStates::EraseFailed);
    EXPECT_EQ(run([&] { device.WriteFlashCRC(); }, ""), OpStates::Timeout);
}

TEST_F(BootloaderTest, TimeOutStaysUntilTheNextOperationStarts)
{
    EXPECT_EQ(run([&] { device.EnterBootMode(); }, ""), OpStates::Timeout);
    EXPECT_EQ(device.OpState, OpStates::Timeout);
    EXPECT_EQ(run([&] { device.EnterBootMode(); }, Ok5), OpStates::Started);
}
