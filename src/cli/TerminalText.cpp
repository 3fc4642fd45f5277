#include "TerminalText.h"

#include <algorithm>

namespace vlboot::cli {

QString EscapeForTerminal(const QString& text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F); };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString escaped;
    escaped.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (!isControl(c)) {
            escaped += c;
            continue;
        }
        switch (c.unicode()) {
        case '\t': escaped += QLatin1String("\\t"); break;
        case '\n': escaped += QLatin1String("\\n"); break;
        case '\r': escaped += QLatin1String("\\r"); break;
        default:
            escaped += c.unicode() < 0x80 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                          : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return escaped;
}

QByteArray TerminalLine(const QString& text)
{
    return EscapeForTerminal(text).toLocal8Bit() + '\n';
}

} // namespace vlboot::cli
