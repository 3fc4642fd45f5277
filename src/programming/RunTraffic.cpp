#include "RunTraffic.h"

#include "CommandTable.h"
#include "DeviceProtocol.h"
#include "ModuleLayout.h"

namespace vlboot {
namespace {

// A frame around an SFO message of `length` bytes: length, two address
// bytes, the code and the checksum besides the message.
constexpr int SfoFrameBytes(int length)
{
    return length + 5;
}
// The messages: a memory write carries its data and 6 bytes more; erase and
// program 5; the status query, CRC read and flash CRC write 4.
constexpr int WriteMessage = 6;
constexpr int BlockMessage = 5;
constexpr int ShortMessage = 4;
// The replies: the module's status reply, the CRC read's and the detection's.
constexpr int StatusReply = 5;
constexpr int CrcReply = 7;
constexpr int DetectionReply = 8;

} // namespace

RunTraffic EstimateTraffic(const WalkSummary& walk, std::uint8_t deviceType)
{
    const bool fixture = deviceType == DeviceTypes::Fixture;
    const int bootFrame = RSfunctions::CommandTable()[RSfunctions::BootControlCommand].FrameLength;
    RunTraffic t;
    // Detection, boot-mode entry (and the amplifier's boot-mode frame) and exit.
    t.exchanges = 3;
    t.wireBytes = SfoFrameBytes(ShortMessage) + DetectionReply + 2 * (bootFrame + StatusReply) + (fixture ? 0 : StatusReply);
    // One memory write per record with data.
    t.exchanges += walk.writes;
    t.wireBytes += walk.bytesWritten + walk.writes * (SfoFrameBytes(WriteMessage) + StatusReply);
    if (fixture) {
        t.exchanges += 1; // the serial-number record
        t.wireBytes += SfoFrameBytes(WriteMessage + ModuleLayout::SerialNumberRecordBytes) + StatusReply;
        return t;
    }
    // The erases, a CRC read and a program per block end, the flash CRC write.
    const auto erases = static_cast<long long>(ModuleLayout::ErasedBlocks.size());
    t.exchanges += erases + 2 * walk.blockPrograms + 1;
    t.wireBytes += (erases + walk.blockPrograms) * (SfoFrameBytes(BlockMessage) + StatusReply)
        + walk.blockPrograms * (SfoFrameBytes(ShortMessage) + CrcReply) + SfoFrameBytes(ShortMessage) + StatusReply;
    return t;
}

} // namespace vlboot
