#include "FileCheckReport.h"

#include "DeviceProtocol.h"
#include "FirmwareCheck.h"
#include "ProgressBar.h"
#include "RunTexts.h"
#include "RunTraffic.h"
#include "Settings.h"
#include "TerminalText.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace vlboot::cli {
namespace {

QString address(std::uint32_t value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

struct Kind {
    const char* name;
    std::uint8_t type;
};
constexpr Kind Kinds[] = {{"amplifier", DeviceTypes::Amplifier}, {"fixture", DeviceTypes::Fixture}};

QString blockLine(const WalkBlock& block)
{
    const std::uint32_t base = std::uint32_t(block.block) << 16;
    return QStringLiteral("  block %1  %2-%3  %4 bytes%5")
        .arg(block.block)
        .arg(address(base + block.first), address(base + block.last))
        .arg(static_cast<qint64>(block.bytes))
        .arg(block.programmed ? QString() : QStringLiteral("  (never programmed: no end-of-file record)"));
}

QStringList textReport(const QString& file, const FirmwareCheckResult& check)
{
    const WalkSummary& walk = check.walk;
    QStringList lines;
    lines << QStringLiteral("file: %1").arg(EscapeForTerminal(file))
          << QStringLiteral("size: %1 bytes, %2 lines").arg(check.size).arg(check.lines)
          << QStringLiteral("sha256: %1").arg(QString::fromLatin1(check.sha256))
          << QStringLiteral("records: %1 memory writes, %2 data bytes, %3")
                 .arg(walk.writes)
                 .arg(static_cast<qint64>(walk.bytesWritten))
                 .arg(walk.endRecord ? QStringLiteral("end-of-file record present") : QStringLiteral("no end-of-file record"))
          << QStringLiteral("blocks: %1").arg(walk.blocks.size());
    for (const WalkBlock& block : walk.blocks)
        lines << blockLine(block);
    QString heading = QStringLiteral("time to program (on the wire, 8N1)   exchanges  wire bytes");
    for (const int baud : BaudRates)
        heading += QStringLiteral("%1").arg(QStringLiteral("%1 baud").arg(baud), 13);
    lines << heading;
    for (const Kind& kind : Kinds) {
        const RunTraffic traffic = EstimateTraffic(walk, kind.type);
        QString row = QStringLiteral("  %1").arg(QLatin1String(kind.name), -34)
            + QStringLiteral("%1%2").arg(traffic.exchanges, 10).arg(static_cast<qint64>(traffic.wireBytes), 12);
        for (const int baud : BaudRates)
            row += QStringLiteral("%1").arg(ProgressBar::DurationText(traffic.WireSeconds(baud)), 13);
        lines << row;
    }
    return lines;
}

QJsonObject jsonRuns(const WalkSummary& walk, const QString& file)
{
    QJsonObject runs;
    for (const Kind& kind : Kinds) {
        const RunTraffic traffic = EstimateTraffic(walk, kind.type);
        QJsonObject seconds;
        for (const int baud : BaudRates)
            seconds[QString::number(baud)] = qRound(traffic.WireSeconds(baud) * 10.0) / 10.0;
        runs[QLatin1String(kind.name)] = QJsonObject{{QStringLiteral("exchanges"), traffic.exchanges},
                                                      {QStringLiteral("wire_bytes"), static_cast<qint64>(traffic.wireBytes)},
                                                      {QStringLiteral("seconds"), seconds},
                                                      {QStringLiteral("warnings"),
                                                       QJsonArray::fromStringList(FindingWarnings(walk, kind.type, file))}};
    }
    return runs;
}

QByteArray jsonReport(const QString& file, const FirmwareCheckResult& check)
{
    QJsonObject event{{QStringLiteral("event"), QStringLiteral("check")},
                      {QStringLiteral("file"), file},
                      {QStringLiteral("ok"), check.ok},
                      {QStringLiteral("why"), check.ok ? QJsonValue() : QJsonValue(check.why)}};
    if (check.ok) {
        const WalkSummary& walk = check.walk;
        QJsonArray blocks;
        for (const WalkBlock& block : walk.blocks) {
            const std::uint32_t base = std::uint32_t(block.block) << 16;
            blocks.append(QJsonObject{{QStringLiteral("block"), block.block},
                                      {QStringLiteral("first"), address(base + block.first)},
                                      {QStringLiteral("last"), address(base + block.last)},
                                      {QStringLiteral("bytes"), static_cast<qint64>(block.bytes)},
                                      {QStringLiteral("programmed"), block.programmed}});
        }
        event[QStringLiteral("size")] = check.size;
        event[QStringLiteral("lines")] = check.lines;
        event[QStringLiteral("sha256")] = QString::fromLatin1(check.sha256);
        event[QStringLiteral("records")] = walk.writes;
        event[QStringLiteral("data_bytes")] = static_cast<qint64>(walk.bytesWritten);
        event[QStringLiteral("end_record")] = walk.endRecord;
        event[QStringLiteral("blocks")] = blocks;
        event[QStringLiteral("runs")] = jsonRuns(walk, file);
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
        output.err(QStringLiteral("why: %1\n").arg(EscapeForTerminal(check.why)).toLocal8Bit());
        return ExitStatus::Fault;
    }
    if (!options.json)
        output.out(textReport(file, check).join(QLatin1Char('\n')).toLocal8Bit() + '\n');
    // The warnings a run would give, for each kind of device.
    bool warned = false;
    for (const Kind& kind : Kinds) {
        for (const QString& warning : FindingWarnings(check.walk, kind.type, options.firmwareFile)) {
            output.err(QStringLiteral("warning (%1): %2\n").arg(QLatin1String(kind.name), EscapeForTerminal(warning)).toLocal8Bit());
            warned = true;
        }
    }
    if (warned && options.strict) {
        output.err(QByteArrayLiteral("vlboot-cli: --strict: the warnings above make this file a fault\n"));
        return ExitStatus::Fault;
    }
    return ExitStatus::Success;
}

} // namespace vlboot::cli
