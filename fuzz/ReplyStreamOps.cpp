#include "ReplyStreamOps.h"

#include "Bootloader.h"
#include "CommandTable.h"
#include "FakeWaitClock.h"
#include "FuzzSupport.h"
#include "ModelLink.h"
#include "Settings.h"

#include <array>
#include <initializer_list>
#include <vector>

namespace vlboot::fuzz {
namespace {

using test::FakeWaitClock;
using sim::ModelLink;

std::uint8_t byteOf(const QByteArray& b, qsizetype i)
{
    return static_cast<std::uint8_t>(b.at(i));
}

QByteArray bytes(FuzzedDataProvider& in, std::size_t most)
{
    const std::string s = in.ConsumeRandomLengthString(most);
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// What comes back for one frame: silence, loose chunks, or a reply with a
// length byte near its real length and a chosen status, cut into pieces.
std::vector<QByteArray> replyFor(FuzzedDataProvider& in)
{
    std::vector<QByteArray> chunks;
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        break;
    case 1:
        for (int n = in.ConsumeIntegralInRange(1, 5); n > 0; --n)
            chunks.push_back(bytes(in, 48));
        break;
    default: {
        const int length = in.ConsumeIntegralInRange(1, 90);
        QByteArray reply = bytes(in, static_cast<std::size_t>(length));
        reply.resize(length, '\0');
        reply[0] = static_cast<char>(length + in.ConsumeIntegralInRange(-1, 1));
        if (length >= 4)
            reply[3] = static_cast<char>(in.ConsumeBool() ? 0 : in.ConsumeIntegral<std::uint8_t>());
        qsizetype at = 0;
        while (at < reply.size()) {
            const auto piece = in.ConsumeIntegralInRange<qsizetype>(1, reply.size() - at);
            chunks.push_back(reply.mid(at, piece));
            at += piece;
        }
        break;
    }
    }
    return chunks;
}

const char* const NetworkAddresses[] = {"1", "0", "65535", "12abc", " 7", "-3", "1.5", "70000", "x", ""};

// The rules a single exchange keeps, whatever came back.
struct Exchange {
    ModelLink link;
    FakeWaitClock clock;
    Settings settings{ScratchFolder().path()};
    StopRequest stop;
    DeviceProtocol protocol{link, settings, clock, stop};
    Bootloader dev{protocol};

    std::size_t sentBefore = 0;
    std::size_t reportsBefore = 0;
    double startedAt = 0;

    void begin()
    {
        sentBefore = link.Sent.size();
        reportsBefore = link.RxLines.size();
        startedAt = clock.Now();
    }
    bool sent() const { return link.Sent.size() > sentBefore; }

    // The receive guard emptied the buffer during this exchange (its report
    // shows more than 80 bytes).
    bool guardFired() const
    {
        for (std::size_t i = reportsBefore; i < link.RxLines.size(); ++i)
            if (link.RxLines[i].size() > 4 + 3 * Link::ReceiveGuard)
                return true;
        return false;
    }

    // Checks what every exchange leaves; `completed` tells that its wait
    // returned true.
    void end(std::initializer_list<std::uint8_t> mayLeave, bool completed)
    {
        FUZZ_CHECK(link.Sent.size() <= sentBefore + 1, "one operation sends at most one frame");
        for (std::size_t i = sentBefore; i < link.Sent.size(); ++i)
            CheckFrameRules(link.Sent[i]);
        if (sent()) {
            const QByteArray& f = link.Sent.back();
            const auto address = DeviceProtocol::NetworkAddress(settings.DevAdr);
            FUZZ_CHECK(address && byteOf(f, 1) + 256 * byteOf(f, 2) == *address, "a frame carries the network address");
        }
        bool allowed = false;
        for (const std::uint8_t s : mayLeave)
            allowed = allowed || protocol.OpState == s;
        FUZZ_CHECK(allowed, "the operation leaves one of its own OpState values");
        const QByteArray& buffer = protocol.ReceiveBuffer();
        FUZZ_CHECK(buffer.size() <= Link::ReceiveGuard, "the receive buffer never holds more than 80 bytes");
        if (completed) {
            FUZZ_CHECK(sent(), "only a frame that was sent gets a reply");
            FUZZ_CHECK(buffer.size() == protocol.ExpectedReplyLength, "a complete reply has the length it was expected to have");
            // Once the guard has emptied the buffer, what follows is judged by
            // the length byte that came first.
            if (!guardFired())
                FUZZ_CHECK(!buffer.isEmpty() && buffer.size() == byteOf(buffer, 0),
                           "a complete reply is as long as its first byte says");
        } else if (protocol.OpState == OpStates::Timeout && sent()) {
            FUZZ_CHECK(clock.Now() - startedAt > protocol.ReplyTimeout, "a time-out comes only after the reply time-out");
        }
    }

    // An SFO request judged by length and status: success only with at least
    // `minLength` bytes and status 0, the fault otherwise.
    void endRequest(int minLength, std::uint8_t fault)
    {
        const bool completed = sent() && protocol.OpState != OpStates::Timeout;
        end({OpStates::Started, OpStates::Timeout, fault}, completed);
        if (!completed)
            return;
        const bool good = protocol.ReceiveBuffer().size() >= minLength && protocol.ReplyByte(4) == 0;
        FUZZ_CHECK((protocol.OpState == OpStates::Started) == good, "success exactly with a long enough reply of status 0");
    }
};

} // namespace

void CheckFrameRules(const QByteArray& frame)
{
    FUZZ_CHECK(frame.size() >= 4 && frame.size() <= 43, "a frame has 4 to 43 bytes");
    FUZZ_CHECK(byteOf(frame, 0) == frame.size(), "a frame begins with its length");
    unsigned sum = 0;
    for (qsizetype i = 0; i + 1 < frame.size(); ++i)
        sum += byteOf(frame, i);
    FUZZ_CHECK(byteOf(frame, frame.size() - 1) == sum % 256, "a frame ends with the sum of its other bytes");
    if (byteOf(frame, 3) != RSfunctions::CommandTable()[RSfunctions::SFOcommand].Code)
        return;
    const int l = byteOf(frame, 4);
    FUZZ_CHECK(l >= 2 && l + 5 == frame.size(), "an SFO message fills its frame");
    unsigned inner = 0;
    for (int i = 4; i < 4 + l - 1; ++i)
        inner += byteOf(frame, i);
    FUZZ_CHECK(byteOf(frame, 4 + l - 1) == inner % 256, "an SFO message ends with its own checksum");
}

void RunOperations(FuzzedDataProvider& in)
{
    Exchange x;
    x.settings.DevAdr = QString::fromLatin1(in.PickValueInArray(NetworkAddresses));
    for (int ops = in.ConsumeIntegralInRange(1, 6); ops > 0 && in.remaining_bytes() > 0; --ops) {
        const int op = in.ConsumeIntegralInRange(0, 8);
        x.link.Script.push_back(replyFor(in));
        x.begin();
        Bootloader& d = x.dev;
        switch (op) {
        case 0: {
            x.protocol.OpState = OpStates::Started;
            const std::uint8_t type = x.protocol.DetectDevice();
            const bool completed = x.sent() && x.protocol.OpState != OpStates::Timeout;
            x.end({OpStates::Started, OpStates::Timeout, OpStates::DetectFailed}, completed);
            const bool usable = completed && x.protocol.ReceiveBuffer().size() >= 7 && (x.protocol.ReplyByte(4) == 0x00 || x.protocol.ReplyByte(4) == 0x13);
            FUZZ_CHECK((type != DeviceTypes::None) == usable, "a device is found exactly with a usable reply");
            FUZZ_CHECK((x.protocol.OpState == OpStates::DetectFailed) == (completed && !usable), "an unusable reply is told apart from none");
            if (usable) {
                const bool allFF = x.protocol.ReplyByte(5) == 0xFF && x.protocol.ReplyByte(6) == 0xFF && x.protocol.ReplyByte(7) == 0xFF;
                FUZZ_CHECK((type == DeviceTypes::Fixture) == allFF, "the fixture answers FF FF FF");
            }
            break;
        }
        case 1:
            d.EnterBootMode();
            x.end({OpStates::Started, OpStates::Timeout}, false);
            if (x.protocol.OpState == OpStates::Started)
                FUZZ_CHECK(x.sent() && x.protocol.ReceiveBuffer().isEmpty(), "entering boot mode empties the buffer after the reply");
            break;
        case 2:
            d.ExitBootMode();
            x.end({OpStates::Started, OpStates::Timeout}, x.protocol.OpState == OpStates::Started);
            break;
        case 3: {
            const int n = in.ConsumeIntegralInRange(-1, 34);
            const std::int32_t adr = in.ConsumeBool() ? in.ConsumeIntegral<std::int32_t>() : in.ConsumeIntegralInRange(-2, 65540);
            std::vector<std::uint8_t> data(in.ConsumeIntegralInRange<std::size_t>(0, 34));
            for (std::uint8_t& b : data)
                b = in.ConsumeIntegral<std::uint8_t>();
            d.WriteSFOmem(n, adr, data);
            const bool valid = n >= 1 && n <= 32 && adr >= 0 && static_cast<std::int64_t>(adr) + n - 1 <= 65536
                && data.size() >= static_cast<std::size_t>(n);
            if (!valid)
                FUZZ_CHECK(!x.sent() && x.protocol.OpState == OpStates::WriteFailed, "a write outside the limits sends nothing");
            x.endRequest(5, OpStates::WriteFailed);
            break;
        }
        case 4:
            d.EraseFlashBlockNo(in.ConsumeIntegral<std::uint8_t>());
            x.endRequest(5, OpStates::EraseFailed);
            break;
        case 5:
            d.WriteFlashBlockNo(in.ConsumeIntegral<std::uint8_t>());
            x.endRequest(5, OpStates::ProgramFailed);
            break;
        case 6:
            d.GetCRCfromRAM();
            x.endRequest(7, OpStates::CrcFailed);
            break;
        case 7:
            d.WriteFlashCRC();
            x.endRequest(5, OpStates::EraseFailed);
            break;
        default: {
            // A bare command frame (any index but the SFO one, whose length
            // is the SFO message's) and its wait.
            std::uint8_t index = in.ConsumeIntegral<std::uint8_t>();
            if (index == RSfunctions::SFOcommand)
                index = 0;
            x.protocol.OpState = OpStates::Started;
            x.protocol.StartExchange();
            x.protocol.CommandFrame[5] = in.ConsumeIntegral<std::uint8_t>();
            x.protocol.SendCommandFrame(index);
            const bool complete = x.protocol.WaitForReply();
            FUZZ_CHECK(complete || x.protocol.OpState == OpStates::Timeout, "a wait that fails leaves OpState 4");
            x.end({OpStates::Started, OpStates::Timeout}, complete);
            break;
        }
        }
    }
}

} // namespace vlboot::fuzz
