// The misbehaviour of the device model: how an arranged fault turns the
// proper reply (and the amplifier's boot-mode frame) into what goes on the line.
#include "DeviceModel.h"

#include <algorithm>

namespace vlboot::sim {

namespace {

constexpr int OversizedLength = 0x51; // one more than the receiver can collect

void reseal(QByteArray& bytes)
{
    if (bytes.size() < 2)
        return;
    bytes[bytes.size() - 1] = char(DeviceModel::Checksum(QByteArrayView(bytes).first(bytes.size() - 1)));
}

} // namespace

void DeviceModel::InjectFault(Request r, int occurrence, Fault f)
{
    faults_.push_back({r, std::max(occurrence, 0), f});
}

void DeviceModel::ClearFaults()
{
    faults_.clear();
}

QByteArray DeviceModel::GarbageLike(const QByteArray& reply)
{
    const int length = std::max(static_cast<int>(reply.size()), 5);
    QByteArray bytes(length, '\0');
    for (char& c : bytes)
        c = char(rng_() & 0xFF);
    // A first byte below the real length: the receiver already holds more
    // than announced, so whatever follows, this never becomes a reply.
    bytes[0] = char(rng_() % static_cast<unsigned>(length));
    return bytes;
}

std::vector<Emission> DeviceModel::ApplyFaults(const std::vector<Fault>& faults, const QByteArray& frame,
                                               QByteArray reply, QByteArray confirm)
{
    bool stray = false;
    int chunk = 0;
    for (const Fault& f : faults) {
        switch (f.kind) {
        case FaultKind::ErrorStatus:
            if (reply.size() >= 5) {
                reply[3] = char(f.status);
                reseal(reply);
            }
            break;
        case FaultKind::Silence:
            return {};
        case FaultKind::Chunked:
            chunk = std::max(f.chunkSize, 1);
            break;
        case FaultKind::StrayByte:
            stray = true;
            break;
        case FaultKind::WrongLength:
            reply[0] = char(reply.size() + 1);
            reseal(reply);
            break;
        case FaultKind::ShortReply:
            reply = QByteArray(1, char(4)) + frame.at(1) + frame.at(2) + char(0); // 04 aL aH 00
            break;
        case FaultKind::Oversized:
            reply = Reply(frame, status::Ok, QByteArray(OversizedLength - 5, char(0xFF)));
            break;
        case FaultKind::NoBootConfirm:
            confirm.clear();
            break;
        case FaultKind::BadBootConfirm:
            if (!confirm.isEmpty()) {
                if (f.status == 0)
                    confirm[2] = char(0x41);
                else
                    confirm[3] = char(f.status);
                reseal(confirm);
            }
            break;
        case FaultKind::Garbage:
            reply = GarbageLike(reply);
            break;
        }
    }
    if (stray)
        reply.prepend('\0');

    std::vector<Emission> out;
    if (chunk == 0 || chunk >= reply.size()) {
        out.push_back({0, reply});
    } else {
        for (int at = 0; at < reply.size(); at += chunk)
            out.push_back({at == 0 ? 0 : chunkDelayMs, reply.mid(at, chunk)});
    }
    if (!confirm.isEmpty())
        out.push_back({bootConfirmDelayMs, confirm});
    return out;
}

} // namespace vlboot::sim
