#include "DeviceModel.h"

#include <algorithm>
#include <array>
#include <set>

namespace vlboot::sim {

namespace {

constexpr std::uint8_t BootControlCode = 0xF7;
constexpr std::uint8_t SfoCode = 0xF8;
constexpr std::uint8_t SfoGroup = 0x23;
constexpr std::uint8_t BootModeMarker = 0x40;
constexpr int MaxWriteBytes = 32;

std::uint8_t at(const QByteArray& bytes, int i)
{
    return static_cast<std::uint8_t>(bytes.at(i));
}

std::array<std::uint16_t, 256> makeCrcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[i] = crc;
    }
    return table;
}

} // namespace

DeviceModel::DeviceModel(DeviceKind kind)
    : kind_(kind)
    , ram_(MemorySize, char(0xFF))
{
}

std::uint8_t DeviceModel::Checksum(QByteArrayView bytes)
{
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<std::uint8_t>(c);
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::uint16_t DeviceModel::Crc16(QByteArrayView bytes, std::uint16_t crc)
{
    static const std::array<std::uint16_t, 256> table = makeCrcTable();
    for (char c : bytes) {
        const auto index = static_cast<std::uint8_t>((crc >> 8) ^ static_cast<std::uint8_t>(c));
        crc = static_cast<std::uint16_t>((crc << 8) ^ table[index]);
    }
    return crc;
}

std::uint16_t DeviceModel::FlashCrc() const
{
    const std::set<int> blocks(programmed_.begin(), programmed_.end());
    std::uint16_t crc = 0xFFFF;
    for (int block : blocks) {
        if (block != CrcBlock)
            crc = Crc16(flash_.at(block), crc);
    }
    return crc;
}

int DeviceModel::Count(Request r) const
{
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                          [r](const RequestRecord& rec) { return rec.request == r; }));
}

int DeviceModel::WorkTimeMs(Request r) const
{
    switch (r) {
    case Request::Detect: return workTimes.detectMs;
    case Request::BootEnter:
    case Request::BootExit: return workTimes.bootMs;
    case Request::MemoryWrite: return workTimes.memoryWriteMs;
    case Request::Erase: return workTimes.eraseMs;
    case Request::Program: return workTimes.programMs;
    case Request::CrcRead: return workTimes.crcReadMs;
    case Request::CrcWrite: return workTimes.crcWriteMs;
    case Request::Unknown: break;
    }
    return 0;
}

std::vector<Emission> DeviceModel::Receive(QByteArrayView bytes)
{
    input_.append(bytes.data(), bytes.size());
    std::vector<Emission> out;
    while (!input_.isEmpty()) {
        const int length = at(input_, 0);
        if (length < MinFrameLength || length > MaxFrameLength) {
            input_.remove(0, 1); // not a frame start: try the next byte
            continue;
        }
        if (input_.size() < length)
            break;
        const QByteArray frame = input_.left(length);
        input_.remove(0, length);
        for (Emission& e : HandleFrame(frame))
            out.push_back(std::move(e));
    }
    return out;
}

DeviceModel::Decoded DeviceModel::Decode(const QByteArray& frame) const
{
    const int n = static_cast<int>(frame.size());
    if (Checksum(QByteArrayView(frame).first(n - 1)) != at(frame, n - 1))
        return {Request::Unknown, status::ChecksumError};

    const std::uint8_t code = at(frame, 3);
    if (code == BootControlCode) {
        if (n != 6)
            return {Request::Unknown, status::BadParameter};
        switch (at(frame, 4)) {
        case 1: return {Request::BootEnter};
        case 2: return {Request::BootExit};
        default: return {Request::Unknown, status::UnknownRequest};
        }
    }
    if (code != SfoCode)
        return {Request::Unknown, status::UnknownRequest};

    // The SFO message: L 0x23 request ... checksum, filling the payload.
    const int l = at(frame, 4);
    if (l + 5 != n)
        return {Request::Unknown, status::ChecksumError};
    if (l < 4)
        return {Request::Unknown, status::BadParameter};
    const QByteArrayView message = QByteArrayView(frame).sliced(4, l);
    if (Checksum(message.first(l - 1)) != static_cast<std::uint8_t>(message.at(l - 1)))
        return {Request::Unknown, status::ChecksumError};
    if (static_cast<std::uint8_t>(message.at(1)) != SfoGroup)
        return {Request::Unknown, status::UnknownRequest};

    auto sized = [](Request r, bool sizeOk, std::uint8_t arg = 0) {
        return Decoded{r, sizeOk ? status::Ok : status::BadParameter, arg};
    };
    switch (static_cast<std::uint8_t>(message.at(2))) {
    case 0x10: return sized(Request::Detect, l == 4);
    case 0x41: return sized(Request::MemoryWrite, l >= 7 && l <= MaxWriteBytes + 6);
    case 0x42: return sized(Request::Erase, l == 5, l == 5 ? static_cast<std::uint8_t>(message.at(3)) : 0);
    case 0x43: return sized(Request::Program, l == 5, l == 5 ? static_cast<std::uint8_t>(message.at(3)) : 0);
    case 0x44: return sized(Request::CrcRead, l == 4);
    case 0x45: return sized(Request::CrcWrite, l == 4);
    default: return {Request::Unknown, status::UnknownRequest};
    }
}

QByteArray DeviceModel::Reply(const QByteArray& frame, std::uint8_t st, QByteArrayView data) const
{
    QByteArray reply;
    reply.reserve(5 + data.size());
    reply.append(char(5 + data.size()));
    reply.append(frame.at(1));
    reply.append(frame.at(2));
    reply.append(char(st));
    reply.append(data.data(), data.size());
    reply.append(char(Checksum(reply)));
    return reply;
}

std::uint8_t DeviceModel::MemoryWrite(const QByteArray& frame)
{
    // Frame: N aL aH F8 | L 23 41 adrLo adrHi data... msgChecksum | checksum
    const int address = at(frame, 7) | (at(frame, 8) << 8);
    const int count = at(frame, 4) - 6;
    if (address + count > MemorySize)
        return status::BadParameter;
    std::copy_n(frame.constData() + 9, count, ram_.data() + address);
    return status::Ok;
}

QByteArray DeviceModel::Perform(Request r, const QByteArray& frame, std::uint8_t arg)
{
    const bool amplifier = kind_ == DeviceKind::Amplifier;
    switch (r) {
    case Request::Detect: {
        static constexpr char amp[] = {0x02, 0x05, 0x01};
        static constexpr char fix[] = {char(0xFF), char(0xFF), char(0xFF)};
        return Reply(frame, status::Ok, QByteArrayView(amplifier ? amp : fix, 3));
    }
    case Request::BootEnter:
    case Request::BootExit:
        bootMode_ = r == Request::BootEnter;
        break;
    case Request::MemoryWrite:
        return Reply(frame, MemoryWrite(frame));
    case Request::Erase:
        if (amplifier)
            flash_[arg] = QByteArray(MemorySize, char(0xFF));
        break;
    case Request::Program:
        if (amplifier) {
            flash_[arg] = ram_;
            programmed_.push_back(arg);
            ram_.fill(char(0xFF));
        }
        break;
    case Request::CrcRead: {
        const std::uint16_t crc = Crc16(ram_);
        const char data[] = {char(crc >> 8), char(crc & 0xFF)};
        return Reply(frame, status::Ok, QByteArrayView(data, 2));
    }
    case Request::CrcWrite:
        if (amplifier) {
            const std::uint16_t crc = FlashCrc();
            QByteArray& block = flash_[CrcBlock];
            if (block.isEmpty())
                block = QByteArray(MemorySize, char(0xFF));
            block[0] = char(crc >> 8);
            block[1] = char(crc & 0xFF);
            flashCrcWritten_ = true;
        }
        break;
    case Request::Unknown:
        return Reply(frame, status::UnknownRequest);
    }
    return Reply(frame, status::Ok);
}

std::vector<Emission> DeviceModel::HandleFrame(const QByteArray& frame)
{
    const Decoded d = Decode(frame);
    requests_.push_back({d.request, frame});
    if (kind_ == DeviceKind::Silent)
        return {};

    const int occurrence = Count(d.request);
    std::vector<Fault> faults;
    for (const Injected& f : faults_) {
        if (f.request == d.request && (f.occurrence == 0 || f.occurrence == occurrence))
            faults.push_back(f.fault);
    }
    const auto has = [&faults](FaultKind k) {
        return std::any_of(faults.begin(), faults.end(), [k](const Fault& f) { return f.kind == k; });
    };

    QByteArray reply;
    QByteArray confirm;
    if (d.refusal != status::Ok) {
        reply = Reply(frame, d.refusal);
    } else if (has(FaultKind::Silence)) {
        return {};
    } else if (has(FaultKind::ErrorStatus)) {
        // Refused: the reply keeps its layout (detection and CRC read change
        // nothing when performed), nothing else is carried out.
        const bool pure = d.request == Request::Detect || d.request == Request::CrcRead;
        reply = pure ? Perform(d.request, frame, d.arg) : Reply(frame, status::Ok);
    } else {
        reply = Perform(d.request, frame, d.arg);
        if (d.request == Request::BootEnter && kind_ == DeviceKind::Amplifier) {
            // The boot-mode frame: 05 aL 40 00 cs.
            const QByteArray header{"\x05", 1};
            confirm = Reply(header + frame.at(1) + char(BootModeMarker), status::Ok);
        }
    }
    return ApplyFaults(faults, frame, reply, confirm);
}

} // namespace vlboot::sim
