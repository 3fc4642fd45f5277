#include "Bootloader.h"

#include "CommandTable.h"

#include <algorithm>
#include <array>

namespace vlboot {
namespace {

constexpr std::uint8_t SfoGroup = 0x23;
constexpr std::uint8_t WriteMemory = 0x41;  // "A"
constexpr std::uint8_t EraseBlock = 0x42;   // "B"
constexpr std::uint8_t ProgramBlock = 0x43; // "C"
constexpr std::uint8_t ReadCrc = 0x44;      // "D"
constexpr std::uint8_t WriteCrc = 0x45;     // "E"

// The boot-mode frame: its third byte, and its length must exceed this.
constexpr std::uint8_t BootModeMark = 0x40;
constexpr int ShortestReply = 4;

} // namespace

Bootloader::Detection Bootloader::DetectDevice()
{
    Detection d;
    d.deviceType = protocol_.DetectDevice();
    d.exchange = protocol_.LastExchange();
    return d;
}

Exchange Bootloader::bootControl(std::uint8_t subCommand)
{
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    protocol_.CommandFrame[5] = subCommand;
    protocol_.SendCommandFrame(RSfunctions::BootControlCommand);
    protocol_.WaitForReply();
    return protocol_.LastExchange();
}

Exchange Bootloader::EnterBootMode()
{
    const Exchange e = bootControl(1);
    if (protocol_.OpState == OpStates::Started)
        protocol_.EmptyReceiveBuffer();
    return e;
}

Exchange Bootloader::ExitBootMode()
{
    return bootControl(2);
}

Bootloader::BootModeFrame Bootloader::AwaitBootModeFrame(double seconds)
{
    // EnterBootMode emptied ReceiveBuffer after its own reply: what comes
    // now is the frame the amplifier sends once it is in boot mode.
    std::uint8_t expected = 255;
    protocol_.AwaitReply(seconds, expected);
    BootModeFrame frame;
    frame.bytes = protocol_.ReceiveBuffer();
    if (protocol_.Stopped())
        frame.state = BootModeFrame::State::Stopped;
    else if (frame.bytes.isEmpty())
        frame.state = BootModeFrame::State::Missing;
    else if (frame.bytes.size() <= ShortestReply || protocol_.ReplyByte(3) != BootModeMark || protocol_.ReplyByte(4) != 0)
        frame.state = BootModeFrame::State::Invalid;
    else
        frame.state = BootModeFrame::State::Valid;
    return frame;
}

Exchange Bootloader::sfoRequest(int minLength, std::uint8_t fault)
{
    protocol_.SFOsendNew();
    if (protocol_.WaitForReply() && (protocol_.ReceiveBuffer().size() < minLength || protocol_.ReplyByte(4) != 0))
        protocol_.OpState = fault;
    return protocol_.LastExchange();
}

Exchange Bootloader::WriteSFOmem(int NofBytes, std::int32_t adr, std::span<const std::uint8_t> DataBuf)
{
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    if (NofBytes < 1 || NofBytes > 32 || adr < 0
        || static_cast<std::int64_t>(adr) + NofBytes - 1 > 65536
        || DataBuf.size() < static_cast<std::size_t>(NofBytes)) {
        protocol_.OpState = OpStates::WriteFailed;
        Exchange refused = protocol_.LastExchange();
        refused.sent = false;
        return refused;
    }
    std::array<std::uint8_t, 33> writeBlock;
    writeBlock.fill(0xFF);
    std::copy_n(DataBuf.begin(), NofBytes, writeBlock.begin());

    protocol_.SFOmessage[0] = static_cast<std::uint8_t>(NofBytes + 6);
    protocol_.SFOmessage[1] = SfoGroup;
    protocol_.SFOmessage[2] = WriteMemory;
    protocol_.SFOmessage[3] = static_cast<std::uint8_t>(adr & 0xFF);
    protocol_.SFOmessage[4] = static_cast<std::uint8_t>((adr >> 8) & 0xFF);
    std::copy_n(writeBlock.begin(), 32, protocol_.SFOmessage.begin() + 5);
    return sfoRequest(5, OpStates::WriteFailed);
}

Exchange Bootloader::blockRequest(std::uint8_t request, std::uint8_t BlockNo, std::uint8_t fault)
{
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    protocol_.SFOmessage[0] = 5;
    protocol_.SFOmessage[1] = SfoGroup;
    protocol_.SFOmessage[2] = request;
    protocol_.SFOmessage[3] = BlockNo;
    return sfoRequest(5, fault);
}

Exchange Bootloader::EraseFlashBlockNo(std::uint8_t BlockNo)
{
    return blockRequest(EraseBlock, BlockNo, OpStates::EraseFailed);
}

Exchange Bootloader::WriteFlashBlockNo(std::uint8_t BlockNo)
{
    return blockRequest(ProgramBlock, BlockNo, OpStates::ProgramFailed);
}

Exchange Bootloader::shortRequest(std::uint8_t request, int minLength, std::uint8_t fault)
{
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    protocol_.SFOmessage[0] = 4;
    protocol_.SFOmessage[1] = SfoGroup;
    protocol_.SFOmessage[2] = request;
    return sfoRequest(minLength, fault);
}

Exchange Bootloader::GetCRCfromRAM()
{
    return shortRequest(ReadCrc, 7, OpStates::CrcFailed);
}

Exchange Bootloader::WriteFlashCRC()
{
    return shortRequest(WriteCrc, 5, OpStates::EraseFailed);
}

} // namespace vlboot
