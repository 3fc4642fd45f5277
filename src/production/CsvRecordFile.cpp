#include "CsvRecordFile.h"

#include "Platform.h"

#include <QDir>
#include <QStringList>

namespace vlboot {

QString CsvRecordFile::DefaultPath(const QString& configDir)
{
    return QDir(configDir).filePath(QStringLiteral("runs.csv"));
}

bool CsvRecordFile::Append(const RunRecord& record, QString& why)
{
    QString problem;
    if (platform::AppendWhole(path_, HeaderLine(), Line(record), problem))
        return true;
    why = QStringLiteral("the record of this run cannot be kept: %1 %2").arg(path_, problem);
    return false;
}

QByteArray CsvRecordFile::HeaderLine()
{
    return QByteArrayLiteral("time,host,station,program,version,com_port,device_path,baud,address,device_kind,"
                             "firmware_path,firmware_size,firmware_sha256,serial_number,caption,failed_step,reason,"
                             "exchanges,seconds\r\n");
}

QByteArray CsvRecordFile::Field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const bool quoted = bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')
        || (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.back() == ' '));
    if (!quoted)
        return bytes;
    return '"' + bytes.replace("\"", "\"\"") + '"';
}

QString CsvRecordFile::TimeText(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray CsvRecordFile::Line(const RunRecord& r)
{
    const QStringList fields{TimeText(r.time),
                             r.host,
                             r.station,
                             r.program,
                             r.version,
                             r.comPort,
                             r.devicePath,
                             r.baud > 0 ? QString::number(r.baud) : QString(),
                             r.address,
                             r.deviceKind,
                             r.firmwarePath,
                             r.firmwareSize >= 0 ? QString::number(r.firmwareSize) : QString(),
                             QString::fromLatin1(r.firmwareSha256),
                             r.serialNumber ? QString::number(*r.serialNumber) : QString(),
                             r.caption,
                             r.failedStep,
                             r.reason,
                             QString::number(r.exchanges),
                             QString::number(r.seconds, 'f', 3)};
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i)
        line += (i > 0 ? "," : "") + Field(fields.at(i));
    return line + "\r\n";
}

} // namespace vlboot
