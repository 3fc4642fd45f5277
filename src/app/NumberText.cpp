#include "NumberText.h"

#include <algorithm>

#include <QLocale>
#include <QString>
#include <cmath>
#include <limits>

namespace vlboot {
namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Length of the number at the start of `text` (after `pos`), or 0 when no
// digit belongs to it. Accepts sign, digits and a decimal part.
qsizetype numberLength(QStringView text, qsizetype pos)
{
    qsizetype i = pos;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < text.size() && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            digits += fraction;
            i = j;
        }
    }
    return digits > 0 ? i - pos : 0;
}

} // namespace

double NumberValue(QStringView text)
{
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const qsizetype len = numberLength(text, pos);
    if (len == 0)
        return 0.0;
    bool ok = false;
    const double v = text.mid(pos, len).toString().toDouble(&ok);
    return ok ? v : 0.0;
}

bool IsNumeric(QStringView text)
{
    // Only the blanks NumberValue skips may stand around the number, so that
    // a numeric text is always worth the number it shows.
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), isBlank).base();
    return first != last && numberLength(text, first - text.begin()) == last - first;
}

double RoundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode is to nearest, ties to even
}

std::optional<std::int32_t> ToInt32HalfEven(double value)
{
    const double r = RoundHalfEven(value);
    if (!std::isfinite(r) || r < std::numeric_limits<std::int32_t>::min()
        || r > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

QString NumberText(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<long long>(value));
    // Fixed notation with the fewest digits that read back as the same value:
    // an exponent ("1e-05", "1e+15") would read back as another number.
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

} // namespace vlboot
