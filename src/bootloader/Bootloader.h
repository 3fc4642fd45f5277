#pragma once

#include "DeviceProtocol.h"

#include <cstdint>
#include <span>

namespace vlboot {

// The requests of a programming run, each one exchange with the Velmora
// module (or the fixture) through the device protocol. Each leaves its
// outcome in the protocol's OpState (3 success, 4 no complete reply in
// time, or its own fault value) and returns how its exchange ended.
class Bootloader {
public:
    explicit Bootloader(DeviceProtocol& protocol) : protocol_(protocol) {}

    // What answers on the line (DetectDevice of the protocol): 1 fixture,
    // 2 amplifier, 0 no usable answer, with the exchange that told it.
    struct Detection {
        std::uint8_t deviceType = DeviceTypes::None;
        Exchange exchange;
    };
    Detection DetectDevice();
    // Whether the network address in use can be sent at all (before the
    // first frame of a run).
    Outcome CheckAddress() { return protocol_.CheckAddress(); }

    // The frame the amplifier sends of its own once it is in boot mode,
    // waited for right after EnterBootMode for at most `seconds` (the wait
    // ends at once when it is complete). Valid: more than 4 bytes, third
    // byte 0x40, status 0.
    struct BootModeFrame {
        enum class State { Valid, Missing, Invalid, Stopped } state = State::Missing;
        QByteArray bytes; // what came
    };
    BootModeFrame AwaitBootModeFrame(double seconds);

    // Boot control command (index 91) with sub-command 1. Any complete reply
    // is success; ReceiveBuffer is emptied after it, so that the module's
    // boot-mode frame that follows is collected on its own.
    Exchange EnterBootMode();
    // Sub-command 2. Any complete reply is success; it stays in ReceiveBuffer.
    Exchange ExitBootMode();

    // Writes NofBytes (1..32) bytes of DataBuf into module memory at adr
    // (low 16 bits sent, low byte first). Fault: OpState 7. Arguments
    // outside their limits send nothing and leave OpState 7.
    Exchange WriteSFOmem(int NofBytes, std::int32_t adr, std::span<const std::uint8_t> DataBuf);

    // Has the module erase (fault: 8) or program (fault: 9) flash block BlockNo.
    Exchange EraseFlashBlockNo(std::uint8_t BlockNo);
    Exchange WriteFlashBlockNo(std::uint8_t BlockNo);

    // Asks for the CRC of the module's memory (reply of at least 7 bytes; fault: 10).
    Exchange GetCRCfromRAM();
    // Has the module compute and store its flash CRC (fault: 8).
    Exchange WriteFlashCRC();

private:
    Exchange bootControl(std::uint8_t subCommand);
    // Sends the SFO message already in SFOmessage and judges the reply: at
    // least `minLength` bytes and status 0, else OpState = `fault`.
    Exchange sfoRequest(int minLength, std::uint8_t fault);
    Exchange blockRequest(std::uint8_t request, std::uint8_t BlockNo, std::uint8_t fault);
    Exchange shortRequest(std::uint8_t request, int minLength, std::uint8_t fault);

    DeviceProtocol& protocol_;
};

} // namespace vlboot
