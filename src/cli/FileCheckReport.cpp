#include "FileCheckReport.h"

#include "DeviceProtocol.h"
#include "FirmwareCheck.h"
#include "ProgramModule.h"
#include "ProgressBar.h"
#include "Settings.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace vlboot::cli {
namespace {

QString address(std::uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x"));
}

struct Kind {
    const char* name;
    std::uint8_t type;
};
constexpr Kind Kinds[] = {{"amplifier", DeviceTypes::Amplifier}, {"fixture", DeviceTypes::Fixture}};

QStringList textReport(const QString& file, const FirmwareCheckResult& check)
{
    QStringList lines;
    lines << QStringLiteral("file: %1").arg(file)
          << QStringLiteral("size: %1 bytes, %2 lines").arg(check.size).arg(check.lines)
          << QStringLiteral("sha256: %1").arg(QString::fromLatin1(check.sha256))
          << QStringLiteral("records: %1 memory writes, %2 data bytes, %3")
                 .arg(check.records)
                 .arg(static_cast<qint64>(check.totalBytes))
                 .arg(check.endRecord ? QStringLiteral("end-of-file record present") : QStringLiteral("no end-of-file record"))
          << QStringLiteral("blocks: %1").arg(check.blocks.size());
    for (const FirmwareBlock& block : check.blocks)
        lines << QStringLiteral("  block %1  %2-%3  %4 bytes")
                     .arg(block.base >> 16)
                     .arg(address(block.base + block.first), address(block.base + block.last))
                     .arg(static_cast<qint64>(block.bytes));
    QString heading = QStringLiteral("time to program (on the wire, 8N1)   exchanges  wire bytes");
    for (const int baud : BaudRates)
        heading += QStringLiteral("%1").arg(QStringLiteral("%1 baud").arg(baud), 13);
    lines << heading;
    for (const Kind& kind : Kinds) {
        const RunTraffic traffic = ProgrammingRun::Traffic(check, kind.type);
        QString row = QStringLiteral("  %1").arg(QLatin1String(kind.name), -34)
            + QStringLiteral("%1%2").arg(traffic.exchanges, 10).arg(static_cast<qint64>(traffic.wireBytes), 12);
        for (const int baud : BaudRates)
            row += QStringLiteral("%1").arg(ProgressBar::DurationText(traffic.WireSeconds(baud)), 13);
        lines << row;
    }
    return lines;
}

QByteArray jsonReport(const QString& file, const FirmwareCheckResult& check)
{
    QJsonObject event{{QStringLiteral("event"), QStringLiteral("check")},
                      {QStringLiteral("file"), file},
                      {QStringLiteral("ok"), check.ok},
                      {QStringLiteral("why"), check.ok ? QJsonValue() : QJsonValue(check.why)}};
    if (check.ok) {
        QJsonArray blocks;
        for (const FirmwareBlock& block : check.blocks)
            blocks.append(QJsonObject{{QStringLiteral("block"), static_cast<qint64>(block.base >> 16)},
                                      {QStringLiteral("first"), address(block.base + block.first)},
                                      {QStringLiteral("last"), address(block.base + block.last)},
                                      {QStringLiteral("bytes"), static_cast<qint64>(block.bytes)}});
        QJsonObject runs;
        for (const Kind& kind : Kinds) {
            const RunTraffic traffic = ProgrammingRun::Traffic(check, kind.type);
            QJsonObject seconds;
            for (const int baud : BaudRates)
                seconds[QString::number(baud)] = qRound(traffic.WireSeconds(baud) * 10.0) / 10.0;
            runs[QLatin1String(kind.name)] = QJsonObject{{QStringLiteral("exchanges"), traffic.exchanges},
                                                          {QStringLiteral("wire_bytes"), static_cast<qint64>(traffic.wireBytes)},
                                                          {QStringLiteral("seconds"), seconds}};
        }
        event[QStringLiteral("size")] = check.size;
        event[QStringLiteral("lines")] = check.lines;
        event[QStringLiteral("sha256")] = QString::fromLatin1(check.sha256);
        event[QStringLiteral("records")] = check.records;
        event[QStringLiteral("data_bytes")] = static_cast<qint64>(check.totalBytes);
        event[QStringLiteral("end_record")] = check.endRecord;
        event[QStringLiteral("blocks")] = blocks;
        event[QStringLiteral("runs")] = runs;
    }
    return QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

int RunFileCheck(const CliOptions& options, const CliOutput& output)
{
    const QString file = QFileInfo(options.firmwareFile).absoluteFilePath();
    const FirmwareCheckResult check = CheckFirmwareFile(options.firmwareFile);
    if (options.json)
        output.out(jsonReport(file, check));
    if (!check.ok) {
        output.err(QStringLiteral("why: %1\n").arg(check.why).toLocal8Bit());
        return ExitCodes::Fault;
    }
    if (!options.json)
        output.out(textReport(file, check).join(QLatin1Char('\n')).toLocal8Bit() + '\n');
    return ExitCodes::Success;
}

} // namespace vlboot::cli
