#include "FirmwareCheck.h"

#include "FirmwareFile.h"
#include "FirmwareLine.h"
#include "ModuleLayout.h"
#include "Sha256.h"

#include <QFileInfo>

namespace vlboot {
namespace {

// Why a record line is refused, or "" when it is not.
QString recordFault(QByteArrayView text)
{
    const FirmwareLine line(text);
    if (!CheckLineChecksum(text))
        return QStringLiteral("checksum does not match the record");
    if (line.Type() != FirmwareLine::Data && line.Type() != FirmwareLine::EndOfFile)
        return {};
    if (line.Count() > ModuleLayout::MaxRecordBytes)
        return QStringLiteral("record of %1 bytes, more than %2").arg(line.Count()).arg(ModuleLayout::MaxRecordBytes);
    if (line.Offset() + line.Count() > ModuleLayout::BlockSize)
        return QStringLiteral("record runs past offset 0x%1 of its flash block")
            .arg(QString::number(ModuleLayout::BlockSize - 1, 16).toUpper());
    return {};
}

} // namespace

FirmwareCheckResult CheckFirmwareFile(const QString& fileName, const std::function<void()>& onFound)
{
    FirmwareCheckResult r;
    if (fileName.isEmpty() || !QFileInfo::exists(fileName)) {
        // "?" is what the FirmwareFile setting holds until a file is chosen.
        r.why = fileName.isEmpty() ? QStringLiteral("no firmware file is named")
            : fileName == QLatin1String("?")
            ? QStringLiteral("no firmware file was chosen (the FirmwareFile setting is \"?\"): name one on the command line "
                             "or choose one with Browse")
            : QStringLiteral("%1: no such file").arg(fileName);
        return r;
    }
    r.found = true;
    if (onFound)
        onFound();

    FirmwareFile file;
    if (const Outcome opened = file.Open(fileName); !opened.ok()) {
        r.why = opened.why();
        return r;
    }
    r.identity = file.Identity();
    if (r.identity)
        r.size = r.identity->size;
    Sha256 digest;
    file.SetDigest(&digest);
    FirmwareWalk walk;
    QByteArrayView text;
    while (file.NextLine(text)) {
        const FirmwareLine line(text);
        if (line.IsShort())
            continue;
        if (const QString fault = recordFault(text); !fault.isEmpty()) {
            r.failedLine = file.LineNumber();
            r.why = QStringLiteral("%1, line %2: %3").arg(fileName).arg(file.LineNumber()).arg(fault);
            return r;
        }
        if (line.Type() == FirmwareLine::Data || line.Type() == FirmwareLine::EndOfFile)
            r.totalBytes += line.Count();
        walk.Feed(line, file.LineNumber());
    }
    walk.Finish();
    r.walk = walk.Summary();
    r.lines = file.LineNumber();
    if (!file.Status().ok()) {
        r.failedLine = file.FaultLine();
        r.why = file.Status().why();
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
