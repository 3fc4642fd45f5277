#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <map>

namespace vlboot::test {

// The image a standard Intel HEX reader makes of a file, written here
// without any of vlboot's own code, as the oracle the runs are held to:
// data records (00) at the address that the latest extended linear (04) or
// extended segment (02) address record gives, up to the first end-of-file
// record (01); later records win; other types and malformed lines are
// skipped (the files given to it passed vlboot's own check).
inline std::map<std::uint32_t, std::uint8_t> StandardImage(const QByteArray& file)
{
    std::map<std::uint32_t, std::uint8_t> image;
    std::uint32_t base = 0;
    for (QByteArray line : file.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith(':'))
            continue;
        const QByteArray bytes = QByteArray::fromHex(line.mid(1));
        if (bytes.size() < 5 || bytes.size() < 5 + static_cast<std::uint8_t>(bytes[0]))
            continue;
        const int count = static_cast<std::uint8_t>(bytes[0]);
        const std::uint32_t offset = (std::uint32_t(std::uint8_t(bytes[1])) << 8) | std::uint8_t(bytes[2]);
        const int type = std::uint8_t(bytes[3]);
        const std::uint32_t value = count >= 2 ? (std::uint32_t(std::uint8_t(bytes[4])) << 8) | std::uint8_t(bytes[5]) : 0;
        if (type == 0x01)
            break;
        if (type == 0x04)
            base = value << 16;
        else if (type == 0x02)
            base = value << 4;
        else if (type == 0x00)
            for (int i = 0; i < count; ++i)
                image[base + offset + i] = std::uint8_t(bytes[4 + i]);
    }
    return image;
}

} // namespace vlboot::test
