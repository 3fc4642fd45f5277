#include "FirmwareCheck.h"

#include "FirmwareLine.h"
#include "LineReader.h"

#include <QFile>
#include <QFileInfo>

namespace vlboot {
namespace {

constexpr int MaxRecordBytes = 32;
constexpr int BlockSize = 65536;

QString lineFault(const QString& fileName, long long lineNo, const QString& what)
{
    return QStringLiteral("%1, line %2: %3").arg(fileName).arg(lineNo).arg(what);
}

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

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        r.why = QStringLiteral("%1: cannot be opened (%2)").arg(fileName, file.errorString());
        return r;
    }
    long long lineNo = 0;
    LineReader reader(file);
    QByteArrayView raw;
    while (reader.Next(raw)) {
        ++lineNo;
        const QByteArrayView text = WithoutLineEnd(raw);
        const FirmwareLine line(text);
        if (line.IsShort())
            continue;
        if (!CheckLineChecksum(text)) {
            r.failedLine = lineNo;
            r.why = lineFault(fileName, lineNo, QStringLiteral("checksum does not match the record"));
            return r;
        }
        const std::uint8_t type = line.Type();
        if (type != FirmwareLine::Data && type != FirmwareLine::EndOfFile)
            continue;
        if (line.Count() > MaxRecordBytes) {
            r.failedLine = lineNo;
            r.why = lineFault(fileName, lineNo, QStringLiteral("record of %1 bytes, more than %2").arg(line.Count()).arg(MaxRecordBytes));
            return r;
        }
        if (line.Offset() + line.Count() > BlockSize) {
            r.failedLine = lineNo;
            r.why = lineFault(fileName, lineNo, QStringLiteral("record runs past offset 0xFFFF of its flash block"));
            return r;
        }
        r.totalBytes += line.Count();
    }
    if (reader.Failed() || file.error() != QFileDevice::NoError) {
        r.why = QStringLiteral("%1: cannot be read (%2)").arg(fileName, file.errorString());
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace vlboot
