#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>
#include <utility>

// The records of an RFC 4180 text (UTF-8; a CR outside quotes is dropped),
// each a list of fields; an unterminated last record is left out.
inline QList<QStringList> ReadCsv(const QByteArray& text)
{
    QList<QStringList> rows;
    QStringList row;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (quoted && c == '"' && text.mid(i + 1, 1) == "\"")
            field += text.at(++i);
        else if (c == '"')
            quoted = !quoted;
        else if (quoted || (c != ',' && c != '\n' && c != '\r'))
            field += c;
        else if (c != '\r') {
            row << QString::fromUtf8(std::exchange(field, {}));
            if (c == '\n')
                rows << std::exchange(row, {});
        }
    }
    return rows;
}

// The records after the header line, each by column name.
inline QList<QMap<QString, QString>> CsvRecords(const QByteArray& text)
{
    const QList<QStringList> rows = ReadCsv(text);
    QList<QMap<QString, QString>> out;
    for (const QStringList& row : rows.mid(1)) {
        out.append(QMap<QString, QString>());
        for (qsizetype c = 0; c < row.size(); ++c)
            out.back()[rows.at(0).value(c)] = row.at(c);
    }
    return out;
}
