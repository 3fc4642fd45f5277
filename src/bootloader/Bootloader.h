#pragma once

#include "DeviceProtocol.h"

#include <cstdint>
#include <span>

namespace vlboot {

// The requests of a programming run, each one exchange with the Velmora
// module (or the fixture) through the device protocol. Each leaves its
// outcome in the protocol's OpState: 3 success, 4 no complete reply in
// time, or its own fault value.
class Bootloader {
public:
    explicit Bootloader(DeviceProtocol& protocol) : protocol_(protocol) {}

    // Boot control command (index 91) with sub-command 1. Any complete reply
    // is success; ReceiveBuffer is emptied after it, so that the module's
    // boot-mode frame that follows is collected on its own.
    void EnterBootMode();
    // Sub-command 2. Any complete reply is success; it stays in ReceiveBuffer.
    void ExitBootMode();

    // Writes NofBytes (1..32) bytes of DataBuf into module memory at adr
    // (low 16 bits sent, low byte first). Fault: OpState 7. Arguments
    // outside their limits send nothing and leave OpState 7.
    void WriteSFOmem(int NofBytes, std::int32_t adr, std::span<const std::uint8_t> DataBuf);

    // Has the module erase (fault: 8) or program (fault: 9) flash block BlockNo.
    void EraseFlashBlockNo(std::uint8_t BlockNo);
    void WriteFlashBlockNo(std::uint8_t BlockNo);

    // Asks for the CRC of the module's memory (reply of at least 7 bytes; fault: 10).
    void GetCRCfromRAM();
    // Has the module compute and store its flash CRC (fault: 8).
    void WriteFlashCRC();

private:
    void bootControl(std::uint8_t subCommand);
    // Sends the SFO message already in SFOmessage and judges the reply: at
    // least `minLength` bytes and status 0, else OpState = `fault`.
    void sfoRequest(int minLength, std::uint8_t fault);
    void blockRequest(std::uint8_t request, std::uint8_t BlockNo, std::uint8_t fault);
    void shortRequest(std::uint8_t request, int minLength, std::uint8_t fault);

    DeviceProtocol& protocol_;
};

} // namespace vlboot
