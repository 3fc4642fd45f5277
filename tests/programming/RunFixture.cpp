#include "RunFixture.h"

namespace vlboot::test {

std::string RunFixture::requests() const
{
    std::string out;
    int writes = 0;
    auto flush = [&] {
        if (writes) {
            out += " write*" + std::to_string(writes);
            writes = 0;
        }
    };
    for (const sim::RequestRecord& r : link.Model().Requests()) {
        if (r.request == sim::Request::MemoryWrite) {
            ++writes;
            continue;
        }
        flush();
        const auto block = static_cast<std::uint8_t>(r.frame.size() > 7 ? r.frame.at(7) : 0);
        switch (r.request) {
        case sim::Request::Detect: out += " detect"; break;
        case sim::Request::BootEnter: out += " enter"; break;
        case sim::Request::BootExit: out += " exit"; break;
        case sim::Request::Erase: out += " erase" + std::to_string(block); break;
        case sim::Request::Program: out += " program" + std::to_string(block); break;
        case sim::Request::CrcRead: out += " crc"; break;
        case sim::Request::CrcWrite: out += " flashcrc"; break;
        default: out += " ?"; break;
        }
    }
    flush();
    return out.empty() ? out : out.substr(1);
}

QByteArray DataRecord(std::uint16_t offset, int n, std::uint8_t first)
{
    QByteArray data(n, 0);
    for (int i = 0; i < n; ++i)
        data[i] = static_cast<char>(first + i);
    return sim::HexRecord(0x00, offset, data);
}

} // namespace vlboot::test
