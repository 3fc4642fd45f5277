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

} // namespace

void Bootloader::bootControl(std::uint8_t subCommand)
{
    OpState = OpStates::Started;
    StartExchange();
    CommandFrame[5] = subCommand;
    SendCommandFrame(RSfunctions::BootControlCommand);
    WaitForReply();
}

void Bootloader::EnterBootMode()
{
    bootControl(1);
    if (OpState == OpStates::Started)
        ReceiveBuffer().clear();
}

void Bootloader::ExitBootMode()
{
    bootControl(2);
}

void Bootloader::sfoRequest(int minLength, std::uint8_t fault)
{
    SFOsendNew();
    if (!WaitForReply())
        return;
    if (ReceiveBuffer().size() < minLength || ReplyByte(4) != 0)
        OpState = fault;
}

void Bootloader::WriteSFOmem(int NofBytes, std::int32_t adr, std::span<const std::uint8_t> DataBuf)
{
    OpState = OpStates::Started;
    if (NofBytes < 1 || NofBytes > 32 || adr < 0
        || static_cast<std::int64_t>(adr) + NofBytes - 1 > 65536
        || DataBuf.size() < static_cast<std::size_t>(NofBytes)) {
        OpState = OpStates::WriteFailed;
        return;
    }
    std::array<std::uint8_t, 33> writeBlock;
    writeBlock.fill(0xFF);
    std::copy_n(DataBuf.begin(), NofBytes, writeBlock.begin());

    StartExchange();
    SFOmessage[0] = static_cast<std::uint8_t>(NofBytes + 6);
    SFOmessage[1] = SfoGroup;
    SFOmessage[2] = WriteMemory;
    SFOmessage[3] = static_cast<std::uint8_t>(adr & 0xFF);
    SFOmessage[4] = static_cast<std::uint8_t>((adr >> 8) & 0xFF);
    std::copy_n(writeBlock.begin(), 32, SFOmessage.begin() + 5);
    sfoRequest(5, OpStates::WriteFailed);
}

void Bootloader::blockRequest(std::uint8_t request, std::uint8_t BlockNo, std::uint8_t fault)
{
    OpState = OpStates::Started;
    StartExchange();
    SFOmessage[0] = 5;
    SFOmessage[1] = SfoGroup;
    SFOmessage[2] = request;
    SFOmessage[3] = BlockNo;
    sfoRequest(5, fault);
}

void Bootloader::EraseFlashBlockNo(std::uint8_t BlockNo)
{
    blockRequest(EraseBlock, BlockNo, OpStates::EraseFailed);
}

void Bootloader::WriteFlashBlockNo(std::uint8_t BlockNo)
{
    blockRequest(ProgramBlock, BlockNo, OpStates::ProgramFailed);
}

void Bootloader::shortRequest(std::uint8_t request, int minLength, std::uint8_t fault)
{
    OpState = OpStates::Started;
    StartExchange();
    SFOmessage[0] = 4;
    SFOmessage[1] = SfoGroup;
    SFOmessage[2] = request;
    sfoRequest(minLength, fault);
}

void Bootloader::GetCRCfromRAM()
{
    shortRequest(ReadCrc, 7, OpStates::CrcFailed);
}

void Bootloader::WriteFlashCRC()
{
    shortRequest(WriteCrc, 5, OpStates::EraseFailed);
}

} // namespace vlboot
