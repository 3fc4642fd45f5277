#include "FirmwareCheck.h"

#include "FirmwareFile.h"
#include "FirmwareLine.h"

#include <QFileInfo>

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
    const auto fault = [&](const QString& what) {
        r.failedLine = file.LineNumber();
        r.why = QStringLiteral("%1, line %2: %3").arg(fileName).arg(file.LineNumber()).arg(what);
        return r;
    };
    bool endSeen = false;
    QByteArrayView text;
    while (file.NextLine(text)) {
        const FirmwareLine line(text);
        if (line.IsShort())
            continue;
        if (!CheckLineChecksum(text))
            return fault(QStringLiteral("checksum does not match the record"));
        const std::uint8_t type = line.Type();
        if (type != FirmwareLine::Data && type != FirmwareLine::EndOfFile)
            continue;
        if (line.Count() > MaxRecordBytes)
            return fault(QStringLiteral("record of %1 bytes, more than %2").arg(line.Count()).arg(MaxRecordBytes));
        if (line.Offset() + line.Count() > BlockSize)
            return fault(QStringLiteral("record runs past offset 0xFFFF of its flash block"));
        r.totalBytes += line.Count();
        if (!endSeen && line.Count() > 0)
            ++r.records;
        endSeen = endSeen || type == FirmwareLine::EndOfFile;
    }
    if (file.Failed()) {
        r.failedLine = file.FaultLine();
        r.why = file.Why();
        return r;
    }
    if (file.Identity() != r.identity) {
        r.why = QStringLiteral("%1: changed while it was being checked").arg(fileName);
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace vlboot
