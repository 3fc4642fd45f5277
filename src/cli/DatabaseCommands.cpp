#include "DatabaseCommands.h"

#include "ExitStatus.h"
#include "IniFileHandler.h"
#include "ProductionSetup.h"
#if defined(VLBOOT_HAVE_DATABASE)
#include "ProductionDatabase.h"
#endif
#include "RunRecordJson.h"
#include "Settings.h"
#include "TerminalText.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace vlboot::cli {
namespace {

QByteArray line(const QString& text)
{
    return text.toLocal8Bit() + '\n';
}

#if defined(VLBOOT_HAVE_DATABASE)
// One line per record, in columns as wide as their widest cell; the reason
// last, as long as it is. Cells from the database are escaped for the
// terminal (EscapeForTerminal).
QStringList recordTable(const QList<ProductionDatabase::Stored>& records)
{
    QList<QStringList> rows{{QStringLiteral("ENDED"), QStringLiteral("STATION"), QStringLiteral("PORT"),
                             QStringLiteral("DEVICE"), QStringLiteral("SERIAL"), QStringLiteral("FIRMWARE"),
                             QStringLiteral("SHA-256"), QStringLiteral("RESULT"), QStringLiteral("REASON")}};
    for (const auto& [id, r] : records) {
        rows << QStringList{r.time.toString(Qt::ISODate),
                            r.station,
                            r.comPort.isEmpty() ? r.devicePath : r.comPort,
                            r.deviceKind.isEmpty() ? QStringLiteral("-") : r.deviceKind,
                            r.serialNumber ? QString::number(*r.serialNumber) : QStringLiteral("-"),
                            QFileInfo(r.firmwarePath).fileName(),
                            r.firmwareSha256.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(r.firmwareSha256.left(12)),
                            r.caption,
                            r.reason.isEmpty() ? QStringLiteral("-") : r.reason};
    }
    for (QStringList& row : rows) {
        for (QString& cell : row)
            cell = EscapeForTerminal(cell);
    }
    QList<qsizetype> widths(rows.constFirst().size(), 0);
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString text;
        for (qsizetype c = 0; c + 1 < row.size(); ++c)
            text += row[c].leftJustified(widths[c] + 2);
        lines << text + row.constLast();
    }
    return lines;
}
#endif

} // namespace

QString DatabaseConnection(const CliOptions& options, const QString& configDir)
{
    return options.database.value_or(ReadProductionSetup(IniFileHandler(SettingsFilePath(configDir))).database);
}

std::optional<int> RefuseMissingDatabase(const CliOptions& options, const QString& configDir, const CliOutput& output)
{
    if (DatabaseBuilt)
        return std::nullopt;
    QString asked;
    if (options.records)
        asked = QStringLiteral("--records");
    else if (options.setNextSerial)
        asked = QStringLiteral("--set-next-serial");
    else if (options.database)
        asked = QStringLiteral("--database");
    else if (!DatabaseConnection(options, configDir).trimmed().isEmpty())
        asked = QStringLiteral("Database= in [Production] of ") + SettingsFilePath(configDir);
    else
        return std::nullopt;
    output.err(line(QStringLiteral("vlboot-cli: %1 needs a production database, and %2").arg(asked, NoDatabaseText)));
    return ExitStatus::Unavailable;
}

int RunDatabaseCommand(const CliOptions& options, const QString& configDir, const CliOutput& output)
{
    const QString connection = DatabaseConnection(options, configDir);
    if (connection.trimmed().isEmpty()) {
        output.err(line(QStringLiteral("vlboot-cli: no production database: give one with --database URL, or as Database= "
                                       "in the section [Production] of %1")
                            .arg(SettingsFilePath(configDir))));
        return ExitStatus::Usage;
    }
#if defined(VLBOOT_HAVE_DATABASE)
    ProductionDatabase database(connection);
    if (options.setNextSerial) {
        const Outcome set = database.SetNextSerialNumber(*options.setNextSerial);
        if (!set.ok()) {
            output.err(line(QStringLiteral("vlboot-cli: ") + set.why()));
            return ExitStatus::Fault;
        }
        output.out(options.json ? QJsonDocument(QJsonObject{{QStringLiteral("next_serial_number"), *options.setNextSerial}})
                                          .toJson(QJsonDocument::Compact)
                                      + '\n'
                                : line(QStringLiteral("next serial number: %1").arg(*options.setNextSerial)));
        return ExitStatus::Success;
    }
    const auto records = database.Records(options.since, options.serial);
    if (!records) {
        output.err(line(QStringLiteral("vlboot-cli: ") + records.why()));
        return ExitStatus::Fault;
    }
    if (options.json) {
        for (const auto& [id, record] : *records) {
            QJsonObject object = RunRecordToJson(record);
            object.insert(QStringLiteral("record_id"), id);
            output.out(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
        }
    } else {
        for (const QString& text : recordTable(*records))
            output.out(line(text));
    }
    return ExitStatus::Success;
#else
    output.err(line(QStringLiteral("vlboot-cli: ") + NoDatabaseText));
    return ExitStatus::Unavailable;
#endif
}

} // namespace vlboot::cli
