#include "IniText.h"

#include <QList>
#include <QStringDecoder>

namespace vlboot {
namespace {

// A UTF-8 byte-order mark that an editor may put at the start of the file.
constexpr QByteArrayView ByteOrderMark("\xEF\xBB\xBF");

// The text of a piece of a line. A U+FEFF at its start is a character of
// the name or value (QString::fromUtf8 would drop it as a byte-order mark:
// a value would then not read back as it was stored).
QString text(QByteArrayView bytes)
{
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decode(bytes);
}

// The lines after a byte-order mark, if any.
QList<QByteArray> splitLines(const QByteArray& content)
{
    QList<QByteArray> lines = (content.startsWith(ByteOrderMark) ? content.mid(ByteOrderMark.size()) : content).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the final line end does not start another line
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

// The section name of a "[Name]" line, or nullopt for any other line.
std::optional<QString> sectionName(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return text(t.mid(1, close - 1)).trimmed();
}

bool isComment(const QByteArray& trimmed)
{
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// The key name of a key=value line, or nullopt.
std::optional<QString> keyName(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || isComment(t))
        return std::nullopt;
    const qsizetype eq = t.indexOf('=');
    if (eq <= 0)
        return std::nullopt;
    return text(t.left(eq)).trimmed();
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Position {
    qsizetype section = -1;  // index of the section's header line
    qsizetype key = -1;      // index of the key's line
    qsizetype lastKey = -1;  // index of the section's last key line
};

Position locate(const QList<QByteArray>& lines, QStringView section, QStringView key)
{
    Position p;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines[i])) {
            if (inSection)
                break; // the first matching section is the one that counts
            if (sameName(*name, section)) {
                inSection = true;
                p.section = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (const auto k = keyName(lines[i])) {
            p.lastKey = i;
            if (p.key < 0 && sameName(*k, key))
                p.key = i;
        }
    }
    return p;
}

} // namespace

std::optional<QString> IniLookup(const QByteArray& content, QStringView section, QStringView key)
{
    const QList<QByteArray> lines = splitLines(content);
    const Position p = locate(lines, section, key);
    if (p.key < 0)
        return std::nullopt;
    const QByteArray& line = lines[p.key];
    return text(line.mid(line.indexOf('=') + 1)).trimmed();
}

QByteArray IniStore(const QByteArray& content, QStringView section, QStringView key, QStringView value)
{
    QList<QByteArray> lines = splitLines(content);
    QString oneLine = value.toString();
    oneLine.remove(u'\r');
    oneLine.remove(u'\n');
    const Position p = locate(lines, section, key);

    if (p.key >= 0) {
        const QByteArray& old = lines[p.key];
        const qsizetype eq = old.indexOf('=');
        lines[p.key] = old.left(eq).trimmed() + '=' + oneLine.toUtf8();
    } else {
        const QByteArray entry = key.toString().toUtf8() + '=' + oneLine.toUtf8();
        if (p.section >= 0) {
            const qsizetype after = p.lastKey >= 0 ? p.lastKey : p.section;
            lines.insert(after + 1, entry);
        } else {
            lines.append('[' + section.toString().toUtf8() + ']');
            lines.append(entry);
        }
    }

    QByteArray out;
    out.reserve(content.size() + 64 + value.size());
    if (content.startsWith(ByteOrderMark))
        out += ByteOrderMark; // kept as it was
    for (const QByteArray& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

} // namespace vlboot
