#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace vlboot::sim {

// What sits at the far end of the serial line.
enum class DeviceKind { Amplifier, Fixture, Silent };

// The requests the device tells apart. Unknown covers frames it cannot act
// on: unknown codes or requests, and frames whose checksums do not add up.
enum class Request { Detect, BootEnter, BootExit, MemoryWrite, Erase, Program, CrcRead, CrcWrite, Unknown };

// Misbehaviour that can be arranged for chosen requests (see InjectFault).
enum class FaultKind {
    ErrorStatus,    // the reply carries `status`; the request is not carried out
    Silence,        // no reply; the request is not carried out
    Chunked,        // the reply comes in pieces of `chunkSize` bytes
    StrayByte,      // a 0x00 byte ahead of the reply
    WrongLength,    // the reply's length byte is one more than its real length
    ShortReply,     // the 4-byte reply 04 aL aH 00
    Oversized,      // an 81-byte reply (length byte 0x51)
    NoBootConfirm,  // the amplifier does not send its boot-mode frame
    BadBootConfirm, // boot-mode frame with third byte 0x41 (status 0 given) or the given status
    Garbage,        // random bytes in place of the reply, never a complete reply
};

struct Fault {
    FaultKind kind;
    std::uint8_t status = 0x14;
    int chunkSize = 1;
};

// Bytes the device puts on the line. The delay counts from the previous
// emission of the same request; for the first one, from the request.
struct Emission {
    int delayMs;
    QByteArray bytes;
};

struct RequestRecord {
    Request request;
    QByteArray frame;
};

// Status codes the device answers with on its own.
namespace status {
inline constexpr std::uint8_t Ok = 0x00;
inline constexpr std::uint8_t ChecksumError = 0x01; // bad frame or message checksum, or N != L + 5
inline constexpr std::uint8_t UnknownRequest = 0x02; // unknown code, group, request or sub-command
inline constexpr std::uint8_t BadParameter = 0x03;  // wrong message size, or a write past 0xFFFF
} // namespace status

// How long the device works on each request before it answers. Only the
// simulator's pacing uses these; replies of the model itself carry no work
// time in their delays.
struct WorkTimes {
    int detectMs = 0;
    int bootMs = 1;
    int memoryWriteMs = 0;
    int eraseMs = 20;
    int programMs = 30;
    int crcReadMs = 1;
    int crcWriteMs = 5;
};

// The amplifier with its Velmora module, the production fixture, or a silent
// line, as seen from the serial port. Host bytes go in through Receive; the
// replies come back as emissions.
//
// Frames: N aL aH code payload... checksum (N = total length, checksum = sum
// of the preceding bytes mod 256). The first byte of the input is taken as a
// length; one below 5 or above 50 is dropped and the next byte tried.
//
// Replies: R aL aH status data... checksum, with the request's own address:
//   detection      08 aL aH 00 02 05 01 cs (amplifier) / FF FF FF (fixture)
//   CRC read       07 aL aH 00 crcHi crcLo cs
//   all others     05 aL aH 00 cs
//   refusals       05 aL aH st cs (st: see `status`)
// After the reply to "enter boot mode" the amplifier sends its boot-mode
// frame 05 aL 40 00 cs as a separate emission, `bootConfirmDelayMs` later.
//
// Memory: a 64 KiB RAM, all 0xFF at start. A write must stay within
// 0x0000..0xFFFF; one that would run past 0xFFFF is refused with 0x03 and
// changes nothing. The amplifier's "program block b" copies the RAM into
// flash block b and resets the RAM to 0xFF; "erase block b" makes the block
// all 0xFF. "Write flash CRC" stores the CRC of all programmed blocks
// except 42 (blocks in ascending order, 64 KiB each) in block 42 at offsets
// 0 (high byte) and 1 (low byte); the rest of block 42 is left as it was
// (0xFF when it was never written). The fixture keeps the RAM as its memory
// image and answers erase, program and flash CRC write without doing anything.
//
// CRC: CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF, no
// reflection, no final XOR; "123456789" gives 0x29B1).
class DeviceModel {
public:
    static constexpr int MemorySize = 0x10000;
    static constexpr int CrcBlock = 42;
    static constexpr int MinFrameLength = 5;
    static constexpr int MaxFrameLength = 50;

    explicit DeviceModel(DeviceKind kind);

    DeviceKind Kind() const { return kind_; }

    // Host bytes in; the replies to every frame they complete, in order.
    std::vector<Emission> Receive(QByteArrayView bytes);

    // Misbehave on the `occurrence`-th request of kind `r` (counted from 1
    // over all requests of that kind); 0 means on every one. Several faults
    // may match one request; they apply in the order they were given.
    void InjectFault(Request r, int occurrence, Fault f);
    void ClearFaults();

    const std::vector<RequestRecord>& Requests() const { return requests_; }
    int Count(Request r) const;
    const QByteArray& Memory() const { return ram_; }
    const std::map<int, QByteArray>& Flash() const { return flash_; }
    // Blocks in the order of the program requests carried out (repeats kept).
    std::vector<int> ProgrammedBlocks() const { return programmed_; }
    bool InBootMode() const { return bootMode_; }
    bool FlashCrcWritten() const { return flashCrcWritten_; }
    // Bytes of an incomplete frame waiting for the rest.
    int PendingInput() const { return static_cast<int>(input_.size()); }

    WorkTimes workTimes;
    int bootConfirmDelayMs = 5;
    int chunkDelayMs = 1;
    int WorkTimeMs(Request r) const;

    // Reseeds the generator behind the Garbage fault.
    void Seed(std::uint32_t seed) { rng_.seed(seed); }

    static std::uint8_t Checksum(QByteArrayView bytes);
    // Continues `crc` over the bytes; start with 0xFFFF.
    static std::uint16_t Crc16(QByteArrayView bytes, std::uint16_t crc = 0xFFFF);
    // CRC of the programmed blocks (42 excepted), as stored by "write flash CRC".
    std::uint16_t FlashCrc() const;

private:
    struct Injected {
        Request request;
        int occurrence;
        Fault fault;
    };
    struct Decoded {
        Request request = Request::Unknown;
        std::uint8_t refusal = status::Ok; // non-zero: answer with this status
        std::uint8_t arg = 0;              // sub-command or block number
    };

    std::vector<Emission> HandleFrame(const QByteArray& frame);
    Decoded Decode(const QByteArray& frame) const;
    QByteArray Perform(Request r, const QByteArray& frame, std::uint8_t arg);
    std::uint8_t MemoryWrite(const QByteArray& frame);
    QByteArray Reply(const QByteArray& frame, std::uint8_t st, QByteArrayView data = {}) const;
    std::vector<Emission> ApplyFaults(const std::vector<Fault>& faults, const QByteArray& frame,
                                      QByteArray reply, QByteArray confirm);
    QByteArray GarbageLike(const QByteArray& reply);

    DeviceKind kind_;
    QByteArray input_;
    QByteArray ram_;
    std::map<int, QByteArray> flash_;
    std::vector<int> programmed_;
    std::vector<RequestRecord> requests_;
    std::vector<Injected> faults_;
    bool bootMode_ = false;
    bool flashCrcWritten_ = false;
    std::mt19937 rng_{0x564C42u};
};

} // namespace vlboot::sim
