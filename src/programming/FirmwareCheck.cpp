#include "FirmwareCheck.h"

#include "FirmwareFile.h"
#include "FirmwareLine.h"
#include "Sha256.h"

#include <QFileInfo>
#include <algorithm>

namespace vlboot {
namespace {

constexpr int MaxRecordBytes = 32;
constexpr int BlockSize = 65536;

} // namespace

FirmwareCheckResult CheckFirmwareFile(const QString& fileName, const std::function<void()>& onFound)
{
    FirmwareCheckResult r;
    if (fileName.isEmpty() || !QFileInfo::exists(fileName)) {
        r.why = fileName.isEmpty() ? QStringLiteral("no firmware file is named")
                                   : QStringLiteral("%1: no such file").arg(fileName);
        return r;
    }
    r.found = true;
    if (onFound)
        onFound();

    FirmwareFile file;
    if (!file.Open(fileName)) {
        r.why = file.Why();
        return r;
    }
    r.identity = file.Identity();
    if (r.identity)
        r.size = r.identity->size;
    Sha256 digest;
    file.SetDigest(&digest);
    const auto fault = [&](const QString& what) {
        r.failedLine = file.LineNumber();
        r.why = QStringLiteral("%1, line %2: %3").arg(fileName).arg(file.LineNumber()).arg(what);
        return r;
    };
    bool endSeen = false;
    // The block changes of the programming pass: the first address record
    // after data names the next block, which begins with the next record.
    bool changePending = false;
    bool dataSeen = false;
    std::uint32_t nextBase = 0;
    const auto blockAt = [&r](std::uint32_t base) -> FirmwareBlock& {
        if (r.blocks.empty() || r.blocks.back().base != base)
            r.blocks.push_back({base, BlockSize, -1, 0});
        return r.blocks.back();
    };
    QByteArrayView text;
    while (file.NextLine(text)) {
        const FirmwareLine line(text);
        if (line.IsShort())
            continue;
        if (!CheckLineChecksum(text))
            return fault(QStringLiteral("checksum does not match the record"));
        const std::uint8_t type = line.Type();
        if (type == FirmwareLine::ExtendedLinearAddress && !endSeen && !changePending) {
            nextBase = (std::uint32_t(line.DataByte(0)) << 24) | (std::uint32_t(line.DataByte(1)) << 16);
            changePending = true;
        }
        if (type != FirmwareLine::Data && type != FirmwareLine::EndOfFile)
            continue;
        if (line.Count() > MaxRecordBytes)
            return fault(QStringLiteral("record of %1 bytes, more than %2").arg(line.Count()).arg(MaxRecordBytes));
        if (line.Offset() + line.Count() > BlockSize)
            return fault(QStringLiteral("record runs past offset 0xFFFF of its flash block"));
        r.totalBytes += line.Count();
        if (!endSeen) {
            const bool end = type == FirmwareLine::EndOfFile;
            if (changePending) {
                r.blockPrograms += dataSeen ? 1 : 0;
                changePending = false;
            } else if (end) {
                r.blockPrograms += 1; // the end record is written, then its block programmed
            }
            dataSeen = true;
            if (line.Count() > 0) {
                ++r.records;
                FirmwareBlock& block = blockAt(nextBase);
                block.first = std::min(block.first, line.Offset());
                block.last = std::max(block.last, line.Offset() + line.Count() - 1);
                block.bytes += line.Count();
            }
        }
        endSeen = endSeen || type == FirmwareLine::EndOfFile;
    }
    r.lines = file.LineNumber();
    r.endRecord = endSeen;
    if (file.Failed()) {
        r.failedLine = file.FaultLine();
        r.why = file.Why();
        return r;
    }
    if (file.Identity() != r.identity) {
        r.why = QStringLiteral("%1: changed while it was being checked").arg(fileName);
        return r;
    }
    r.sha256 = digest.HexResult();
    r.ok = true;
    return r;
}

} // namespace vlboot
