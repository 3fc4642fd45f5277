#include "VerifyDump.h"

#include "StandardHexImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace vlboot::sim {

namespace {

constexpr int Equal = 0;
constexpr int Differs = 1;
constexpr int BadInput = 2;
constexpr std::uint32_t SerialFirst = 0x7FFB; // the fixture's serial-number record: 0x0B, then 4 bytes
constexpr std::uint32_t SerialLast = 0x7FFF;
constexpr int BlockSize = StandardHexImage::BlockSize;

bool bad(const QString& what, const QString& why)
{
    std::fprintf(stderr, "vlboot-mkfw: %s: %s\n", qPrintable(what), qPrintable(why));
    return false;
}

bool readImage(const QString& fileName, std::uint32_t mask, StandardHexImage& image)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return bad(fileName, QStringLiteral("no such file"));
    if (!info.isFile())
        return bad(fileName, QStringLiteral("not a regular file"));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return bad(fileName, file.errorString());
    std::string error;
    return ReadStandardHexImage(file, mask, image, error) || bad(fileName, QString::fromStdString(error));
}

// A dump file of exactly 64 KiB; `present` false when there is none.
bool readDumpFile(const QDir& dir, const QString& name, QByteArray& bytes, bool& present)
{
    const QString path = dir.filePath(name);
    present = QFileInfo::exists(path);
    if (!present)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return bad(path, file.errorString());
    bytes = file.read(BlockSize + 1);
    return bytes.size() == BlockSize
        || bad(path, QStringLiteral("%1 bytes where a dump holds %2").arg(bytes.size()).arg(BlockSize));
}

struct Difference {
    int compared = 0;
    int count = 0;
    std::uint32_t first = 0;
    std::uint8_t dumped = 0;
    std::uint8_t file = 0;
};

// The bytes `block` defines against `dumped`, but those in [skipFirst, skipLast].
Difference compare(const StandardHexImage::Block& block, const QByteArray& dumped, std::uint32_t base,
                   std::uint32_t skipFirst = 1, std::uint32_t skipLast = 0)
{
    Difference d;
    for (std::uint32_t at = 0; at < BlockSize; ++at) {
        if (!block.defined[at] || (at >= skipFirst && at <= skipLast))
            continue;
        ++d.compared;
        const auto flash = static_cast<std::uint8_t>(dumped.at(at));
        if (flash != block.bytes[at] && d.count++ == 0) {
            d.first = base + at;
            d.dumped = flash;
            d.file = block.bytes[at];
        }
    }
    return d;
}

int verifyFlash(const QDir& dir, const StandardHexImage& image)
{
    int differing = 0;
    int missing = 0;
    long bytes = 0;
    long differingBytes = 0;
    for (const auto& [no, block] : image.blocks) {
        QByteArray dumped;
        bool present = false;
        if (!readDumpFile(dir, QStringLiteral("block-%1.bin").arg(no, 3, 10, QLatin1Char('0')), dumped, present))
            return BadInput;
        bytes += block.definedCount;
        if (!present) {
            std::printf("block %3u: never programmed (%d bytes in the file)\n", no, block.definedCount);
            ++missing;
            differingBytes += block.definedCount;
            continue;
        }
        const Difference d = compare(block, dumped, no << 16);
        differingBytes += d.count;
        differing += d.count > 0 ? 1 : 0;
        if (d.count == 0)
            std::printf("block %3u: flash equals the file (%d bytes)\n", no, d.compared);
        else
            std::printf("block %3u: flash DIFFERS from the file: %d of %d bytes, the first at 0x%08X (flash 0x%02X, file 0x%02X)\n",
                        no, d.count, d.compared, d.first, d.dumped, d.file);
    }
    const auto blocks = static_cast<int>(image.blocks.size());
    if (differing + missing == 0) {
        std::printf("the flash equals the file: %d blocks, %ld bytes\n", blocks, bytes);
        return Equal;
    }
    std::printf("the flash DIFFERS from the file: %d of %d blocks (%d never programmed), %ld of %ld bytes\n",
                differing + missing, blocks, missing, differingBytes, bytes);
    return Differs;
}

int verifyMemory(const QDir& dir, const StandardHexImage& image, bool strictSerial)
{
    QByteArray memory;
    bool present = false;
    if (!readDumpFile(dir, QStringLiteral("memory.bin"), memory, present))
        return BadInput;
    if (!present) {
        bad(dir.filePath(QStringLiteral("memory.bin")), QStringLiteral("no such file (no fixture's memory dumped)"));
        return BadInput;
    }
    static const StandardHexImage::Block none;
    const auto folded = image.blocks.find(0);
    const StandardHexImage::Block& block = folded == image.blocks.end() ? none : folded->second;
    const Difference d = strictSerial ? compare(block, memory, 0) : compare(block, memory, 0, SerialFirst, SerialLast);
    if (d.count == 0)
        std::printf("memory: equals the file (%d bytes)\n", d.compared);
    else
        std::printf("memory: DIFFERS from the file: %d of %d bytes, the first at 0x%04X (memory 0x%02X, file 0x%02X)\n",
                    d.count, d.compared, d.first, d.dumped, d.file);
    if (!strictSerial && block.definedCount > d.compared)
        std::printf("memory: the file's %d bytes at 0x7FFB..0x7FFF, the serial-number record, are not compared "
                    "(--strict-serial compares them)\n",
                    block.definedCount - d.compared);

    const auto byte = [&memory](std::uint32_t at) { return static_cast<std::uint8_t>(memory.at(at)); };
    if (byte(SerialFirst) == 0x0B) {
        std::uint32_t serial = 0;
        for (std::uint32_t at = SerialFirst + 1; at <= SerialLast; ++at)
            serial = (serial << 8) | byte(at);
        std::printf("serial number: %u\n", serial);
    } else {
        std::printf("serial number: none written (0x7FFB holds 0x%02X, not 0x0B)\n", byte(SerialFirst));
    }
    return d.count == 0 ? Equal : Differs;
}

} // namespace

int VerifyDump(const QString& dumpDir, const QString& firmwareFile, bool fixture, bool strictSerial)
{
    const QDir dir(dumpDir);
    if (!QFileInfo(dumpDir).isDir()) {
        bad(dumpDir, QStringLiteral("no such folder"));
        return BadInput;
    }
    fixture = fixture || QFileInfo::exists(dir.filePath(QStringLiteral("memory.bin")));
    StandardHexImage image;
    if (!readImage(firmwareFile, fixture ? 0xFFFF : 0xFFFFFFFF, image))
        return BadInput;
    if (!image.endRecord)
        std::printf("note: %s has no end record: every record up to its end was read\n", qPrintable(firmwareFile));
    if (image.blocks.empty())
        std::printf("note: %s defines no bytes: nothing to compare\n", qPrintable(firmwareFile));
    return fixture ? verifyMemory(dir, image, strictSerial) : verifyFlash(dir, image);
}

} // namespace vlboot::sim
