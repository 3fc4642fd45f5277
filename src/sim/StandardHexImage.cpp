#include "StandardHexImage.h"

#include <QByteArray>

namespace vlboot::sim {

namespace {

constexpr int LongestLine = 1 + 2 * (5 + 255); // ':' and the hexadecimal digits of 255 data bytes

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One record into the image; false with the reason in `error`.
bool takeRecord(const QByteArray& text, std::uint32_t mask, std::uint32_t& base, StandardHexImage& image,
                std::string& error)
{
    if (!text.startsWith(':')) {
        error = "no ':' at the start";
        return false;
    }
    std::vector<std::uint8_t> b;
    for (qsizetype i = 1; i + 1 < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            error = "not hexadecimal";
            return false;
        }
        b.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    if (text.size() % 2 == 0 || b.size() < 5 || b.size() != b[0] + 5u) {
        error = "its length does not match its byte count";
        return false;
    }
    unsigned sum = 0;
    for (std::uint8_t v : b)
        sum += v;
    if ((sum & 0xFF) != 0) {
        error = "bad checksum";
        return false;
    }
    const std::uint32_t offset = (b[1] << 8) | b[2];
    const std::uint32_t value = b[0] >= 2 ? (b[4] << 8) | b[5] : 0;
    switch (b[3]) {
    case 0x00:
        for (std::uint32_t i = 0; i < b[0]; ++i) {
            const std::uint32_t address = (base + offset + i) & mask;
            StandardHexImage::Block& block = image.blocks[address >> 16];
            const std::uint32_t at = address & 0xFFFF;
            block.definedCount += block.defined[at] ? 0 : 1;
            block.defined[at] = true;
            block.bytes[at] = b[4 + i];
        }
        return true;
    case 0x01:
        image.endRecord = true;
        return true;
    case 0x02:
    case 0x04:
        if (b[0] != 2) {
            error = "an address record needs 2 data bytes";
            return false;
        }
        base = b[3] == 0x02 ? value * 16 : value << 16;
        return true;
    case 0x03:
    case 0x05:
        return true;
    default:
        error = "unknown record type " + std::to_string(b[3]);
        return false;
    }
}

} // namespace

bool StandardHexImage::At(std::uint32_t address, std::uint8_t& value) const
{
    const auto block = blocks.find(address >> 16);
    if (block == blocks.end() || !block->second.defined[address & 0xFFFF])
        return false;
    value = block->second.bytes[address & 0xFFFF];
    return true;
}

bool ReadStandardHexImage(QIODevice& in, std::uint32_t addressMask, StandardHexImage& image, std::string& error)
{
    std::uint32_t base = 0;
    long lineNo = 1;
    QByteArray line;
    bool afterCr = false;
    const auto endLine = [&]() {
        const QByteArray text = line.trimmed();
        line.clear();
        std::string why;
        if (!text.isEmpty() && !takeRecord(text, addressMask, base, image, why)) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        }
        ++lineNo;
        return true;
    };
    char buffer[65536];
    qint64 n = 0;
    while (!image.endRecord && (n = in.read(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < n && !image.endRecord; ++i) {
            const char c = buffer[i];
            const bool lf = c == '\n';
            if (lf && afterCr) { // the LF of a CR LF
                afterCr = false;
                continue;
            }
            afterCr = c == '\r';
            if (lf || afterCr) {
                if (!endLine())
                    return false;
            } else if (line.size() >= LongestLine) {
                error = "line " + std::to_string(lineNo) + ": longer than any record";
                return false;
            } else {
                line += c;
            }
        }
    }
    if (n < 0) {
        error = in.errorString().toStdString();
        return false;
    }
    return image.endRecord || endLine();
}

} // namespace vlboot::sim
