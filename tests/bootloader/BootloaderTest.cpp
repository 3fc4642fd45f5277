// The bootloader's boot-mode requests and its memory write: the messages
// they send and the OpState each kind of reply leaves. (Every other request,
// and each kind of reply to it, is met by the programming runs against the
// device model.)
#include "Bootloader.h"
#include "ScriptedProtocolTest.h"

#include <functional>

using namespace vlboot;
using namespace vlboot::test;

namespace {

struct BootloaderTest : ScriptedProtocolTest {
    Bootloader device{protocol};

    std::uint8_t run(const std::function<void()>& op, const char* replyHex)
    {
        reply(replyHex);
        op();
        return protocol.OpState;
    }
    // The SFO message inside the last frame sent.
    QByteArray lastMessage() const { return link.Sent.back().mid(4, link.Sent.back().size() - 5); }
};

const char* Ok5 = "05 01 00 00 06";

} // namespace

TEST_F(BootloaderTest, BootModeTakesAnyCompleteReply)
{
    EXPECT_EQ(run([&] { device.EnterBootMode(); }, "05 01 00 02 08"), OpStates::Started);
    EXPECT_EQ(link.Sent.back(), Bytes("06 01 00 F7 01 FF"));
    EXPECT_TRUE(protocol.ReceiveBuffer().isEmpty()); // emptied for the boot-mode frame that follows
    EXPECT_EQ(run([&] { device.ExitBootMode(); }, Ok5), OpStates::Started);
    EXPECT_EQ(link.Sent.back(), Bytes("06 01 00 F7 02 00"));
    EXPECT_EQ(protocol.ReceiveBuffer(), Bytes(Ok5)); // the reply stays
    EXPECT_EQ(run([&] { device.ExitBootMode(); }, "05 01 00 00 06 06"), OpStates::Timeout);
    EXPECT_EQ(protocol.ReceiveBuffer().size(), 6); // not emptied after a time-out
}

TEST_F(BootloaderTest, MemoryWriteSendsExactlyItsBytesAndNothingOutsideItsLimits)
{
    std::uint8_t data[40];
    for (int i = 0; i < 40; ++i)
        data[i] = static_cast<std::uint8_t>(0x5A + i);
    const struct {
        int n;
        std::int32_t adr;
        std::size_t len;
    } bad[] = {{0, 0, 32}, {33, 0, 33}, {-1, 0, 32}, {1, -1, 32}, {32, 65506, 32}, {4, 0, 3}};
    for (const auto& b : bad) {
        protocol.OpState = OpStates::Started;
        device.WriteSFOmem(b.n, b.adr, std::span<const std::uint8_t>(data, b.len));
        EXPECT_EQ(protocol.OpState, OpStates::WriteFailed) << b.n << " " << b.adr;
    }
    EXPECT_TRUE(link.Sent.empty());

    run([&] { device.WriteSFOmem(1, 0, data); }, Ok5);
    EXPECT_EQ(lastMessage(), Bytes("07 23 41 00 00 5A C5"));
    run([&] { device.WriteSFOmem(5, 0x1234, data); }, Ok5);
    EXPECT_EQ(lastMessage().left(5), Bytes("0B 23 41 34 12")); // the 0xFF fill does not go on the wire
    // The last byte may stand at 65536 (the module takes the low 16 bits).
    EXPECT_EQ(run([&] { device.WriteSFOmem(32, 65505, data); }, Ok5), OpStates::Started);
    EXPECT_EQ(lastMessage().chopped(1), Bytes("26 23 41 E1 FF") + QByteArray(reinterpret_cast<const char*>(data), 32));
}
