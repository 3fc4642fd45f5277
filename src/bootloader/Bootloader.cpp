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
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    protocol_.CommandFrame[5] = subCommand;
    protocol_.SendCommandFrame(RSfunctions::BootControlCommand);
    protocol_.WaitForReply();
}

void Bootloader::EnterBootMode()
{
    bootControl(1);
    if (protocol_.OpState == OpStates::Started)
        protocol_.EmptyReceiveBuffer();
}

void Bootloader::ExitBootMode()
{
    bootControl(2);
}

void Bootloader::sfoRequest(int minLength, std::uint8_t fault)
{
    protocol_.SFOsendNew();
    if (!protocol_.WaitForReply())
        return;
    if (protocol_.ReceiveBuffer().size() < minLength || protocol_.ReplyByte(4) != 0)
        protocol_.OpState = fault;
}

void Bootloader::WriteSFOmem(int NofBytes, std::int32_t adr, std::span<const std::uint8_t> DataBuf)
{
    protocol_.OpState = OpStates::Started;
    if (NofBytes < 1 || NofBytes > 32 || adr < 0
        || static_cast<std::int64_t>(adr) + NofBytes - 1 > 65536
        || DataBuf.size() < static_cast<std::size_t>(NofBytes)) {
        protocol_.OpState = OpStates::WriteFailed;
        return;
    }
    std::array<std::uint8_t, 33> writeBlock;
    writeBlock.fill(0xFF);
    std::copy_n(DataBuf.begin(), NofBytes, writeBlock.begin());

    protocol_.StartExchange();
    protocol_.SFOmessage[0] = static_cast<std::uint8_t>(NofBytes + 6);
    protocol_.SFOmessage[1] = SfoGroup;
    protocol_.SFOmessage[2] = WriteMemory;
    protocol_.SFOmessage[3] = static_cast<std::uint8_t>(adr & 0xFF);
    protocol_.SFOmessage[4] = static_cast<std::uint8_t>((adr >> 8) & 0xFF);
    std::copy_n(writeBlock.begin(), 32, protocol_.SFOmessage.begin() + 5);
    sfoRequest(5, OpStates::WriteFailed);
}

void Bootloader::blockRequest(std::uint8_t request, std::uint8_t BlockNo, std::uint8_t fault)
{
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    protocol_.SFOmessage[0] = 5;
    protocol_.SFOmessage[1] = SfoGroup;
    protocol_.SFOmessage[2] = request;
    protocol_.SFOmessage[3] = BlockNo;
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
    protocol_.OpState = OpStates::Started;
    protocol_.StartExchange();
    protocol_.SFOmessage[0] = 4;
    protocol_.SFOmessage[1] = SfoGroup;
    protocol_.SFOmessage[2] = request;
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
