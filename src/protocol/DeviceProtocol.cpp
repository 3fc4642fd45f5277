#include "DeviceProtocol.h"

#include "CommandTable.h"
#include "NumberText.h"
#include "Settings.h"

#include <cmath>

namespace vlboot {

DeviceProtocol::DeviceProtocol(Link& link, const Settings& settings, WaitClock& clock, const StopRequest& stop)
    : link_(link)
    , settings_(settings)
    , clock_(clock)
    , stop_(stop)
{
}

std::optional<std::uint16_t> DeviceProtocol::NetworkAddress(const QString& devAdr)
{
    const double v = NumberValue(devAdr);
    if (v != std::trunc(v) || v < 0 || v > HighestAddress)
        return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

Outcome DeviceProtocol::CheckAddress()
{
    if (currentAddress())
        return Outcome::Ok();
    return Outcome::Failed(QStringLiteral("the network address \"%1\" is not a whole number from 0 to %2, so no frame "
                                          "can carry it; nothing was sent")
                               .arg(settings_.DevAdr)
                               .arg(HighestAddress));
}

std::optional<std::uint16_t> DeviceProtocol::currentAddress()
{
    // Read anew only when the text changed (the address menu), not for
    // every one of a run's thousands of frames.
    if (!addressRead_ || settings_.DevAdr != addressText_) {
        addressText_ = settings_.DevAdr;
        address_ = NetworkAddress(addressText_);
        addressRead_ = true;
    }
    return address_;
}

std::uint8_t DeviceProtocol::ReplyByte(int k) const
{
    return static_cast<std::uint8_t>(link_.ReceiveBuffer().at(k - 1));
}

void DeviceProtocol::StartExchange()
{
    link_.EmptyReceiveBuffer();
    ExpectedReplyLength = 255;
    lastStatus_.reset();
    stopped_ = false;
}

Exchange DeviceProtocol::LastExchange() const
{
    Exchange e;
    e.opState = OpState;
    e.sent = !refused_;
    e.stopped = stopped_;
    e.reply = link_.ReceiveBuffer();
    e.discarded = link_.DiscardedBytes();
    e.status = lastStatus_;
    return e;
}

bool DeviceProtocol::SendCommandFrame(std::uint8_t CommandIndex)
{
    refused_ = true;
    if (CommandIndex > RSfunctions::CommandCount)
        return false;
    const CommandRecord& record = RSfunctions::CommandTable()[CommandIndex];
    const int n = CommandIndex == RSfunctions::SFOcommand ? CommandFrame[5] + 5 : record.FrameLength;
    if (n < 4 || n >= static_cast<int>(CommandFrame.size()))
        return false;
    const std::optional<std::uint16_t> address = currentAddress();
    if (!address)
        return false;
    refused_ = false;

    link_.ClearMScommInput(); // (ReceiveBuffer emptied with it)
    link_.CloseMScomm();
    link_.SetupMScomm(settings_.ComPort, settings_.ComSpeed);

    CommandFrame[1] = static_cast<std::uint8_t>(n);
    CommandFrame[2] = static_cast<std::uint8_t>(*address % 256);
    CommandFrame[3] = static_cast<std::uint8_t>(*address / 256);
    CommandFrame[4] = record.Code;
    unsigned sum = 0;
    for (int i = 1; i < n; ++i)
        sum += CommandFrame[i];
    CommandFrame[n] = static_cast<std::uint8_t>(sum % 256);

    link_.SendMScommString(QByteArray(reinterpret_cast<const char*>(&CommandFrame[1]), n));
    return true;
}

bool DeviceProtocol::SFOsendNew()
{
    const int l = SFOmessage[0];
    if (l < 2 || l > 38) {
        refused_ = true;
        return false;
    }
    unsigned sum = 0;
    for (int i = 0; i <= l - 2; ++i)
        sum += SFOmessage[i];
    SFOmessage[l - 1] = static_cast<std::uint8_t>(sum % 256);
    for (int i = 0; i <= 37; ++i)
        CommandFrame[5 + i] = SFOmessage[i];
    return SendCommandFrame(RSfunctions::SFOcommand);
}

bool DeviceProtocol::WaitForReply()
{
    if (refused_) {
        OpState = OpStates::Timeout;
        return false;
    }
    const double waitStart = clock_.Now();
    if (!AwaitReply(ReplyTimeout, ExpectedReplyLength)) {
        OpState = OpStates::Timeout;
        return false;
    }
    if (ExchangeCompleted)
        ExchangeCompleted(clock_.Now() - waitStart);
    const QByteArray& buffer = link_.ReceiveBuffer();
    lastStatus_ = buffer.size() >= 4 ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(buffer.at(3))) : std::nullopt;
    return true;
}

bool DeviceProtocol::AwaitReply(double seconds, std::uint8_t& expected)
{
    const QByteArray& buffer = link_.ReceiveBuffer();
    const double waitStart = clock_.Now();
    // Wake just after the time-out, so that the pass after it sees the
    // elapsed time strictly beyond it.
    const double deadline = waitStart + seconds + 0.001;
    stopped_ = false;
    for (;;) {
        const double waitElapsed = clock_.Now() - waitStart;
        clock_.WaitForEvents(deadline);
        if (!buffer.isEmpty() && expected == 255)
            expected = static_cast<std::uint8_t>(buffer.at(0));
        if (stop_.Effective()) {
            stopped_ = true;
            return false;
        }
        if (waitElapsed > seconds)
            return false;
        // The length must also still be the one the buffer's first byte
        // announces: after the 80-byte guard has emptied the buffer, other
        // bytes would otherwise count as the reply whose length came first.
        if (!buffer.isEmpty() && buffer.size() == expected && static_cast<std::uint8_t>(buffer.at(0)) == expected)
            return true;
    }
}

std::uint8_t DeviceProtocol::DetectDevice()
{
    SendDetection();
    if (!WaitForReply())
        return DeviceTypes::None;
    return Detected();
}

bool DeviceProtocol::SendDetection()
{
    StartExchange();
    SFOmessage[0] = 4;
    SFOmessage[1] = 0x23;
    SFOmessage[2] = 0x10;
    return SFOsendNew();
}

std::uint8_t DeviceProtocol::Detected()
{
    if (ReceiveBuffer().size() < 7) {
        OpState = OpStates::DetectFailed;
        return DeviceTypes::None;
    }
    const std::uint8_t status = ReplyByte(4);
    if (status != 0x00 && status != 0x13) {
        OpState = OpStates::DetectFailed;
        return DeviceTypes::None;
    }
    if (ReplyByte(5) == 0xFF && ReplyByte(6) == 0xFF && ReplyByte(7) == 0xFF)
        return DeviceTypes::Fixture;
    return DeviceTypes::Amplifier;
}

bool DeviceProtocol::ReplyComplete() const
{
    const QByteArray& buffer = link_.ReceiveBuffer();
    return !buffer.isEmpty() && buffer.size() == static_cast<std::uint8_t>(buffer.at(0));
}

} // namespace vlboot
