// The settings text and the reading of numbers, on arbitrary input.
//
// The input gives a section, a key, a value, a number text and a double, and
// its rest is the content of a settings file. The key is stored into the
// content; the stored value must read back, and every other value that could
// be read before must read the same afterwards. The number functions must
// agree with one another on every text and every double.

#include "FuzzSupport.h"
#include "IniText.h"
#include "NumberText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>

using namespace vlboot;

namespace {

// A section or key name the settings file can hold as it is: not empty, no
// blanks around it, none of the characters that make a line a section
// header, a comment or a key, and on one line.
bool reasonableName(const QString& name)
{
    if (name.isEmpty() || name != name.trimmed())
        return false;
    for (const QChar c : name)
        if (c == u'[' || c == u']' || c == u'=' || c == u';' || c == u'#' || c == u'\r' || c == u'\n')
            return false;
    return true;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Names that appear in the content: whatever stands between brackets, and
// whatever stands before an equals sign. A handful is enough.
void namesIn(const QByteArray& content, QList<QString>& sections, QList<QString>& keys)
{
    for (const QByteArray& line : content.split('\n')) {
        const qsizetype open = line.indexOf('[');
        const qsizetype close = line.indexOf(']');
        if (open >= 0 && close > open && sections.size() < 12)
            sections.append(QString::fromUtf8(line.mid(open + 1, close - open - 1)).trimmed());
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && keys.size() < 12)
            keys.append(QString::fromUtf8(line.left(eq)).trimmed());
    }
}

void checkStore(const QByteArray& content, const QString& section, const QString& key, const QString& value)
{
    const QByteArray stored = IniStore(content, section, key, value);

    if (!reasonableName(section) || !reasonableName(key))
        return;

    FUZZ_CHECK(stored.endsWith("\r\n"), "the stored text ends with a line end");
    for (qsizetype i = stored.indexOf('\n'); i >= 0; i = stored.indexOf('\n', i + 1))
        FUZZ_CHECK(i > 0 && stored[i - 1] == '\r', "every line end is CR LF");

    QString expected = value;
    expected.remove(u'\r');
    expected.remove(u'\n');
    expected = expected.trimmed();
    const auto back = IniLookup(stored, section, key);
    FUZZ_CHECK(back.has_value() && *back == expected, "the stored value reads back, trimmed, on one line");
    FUZZ_CHECK(IniStore(stored, section, key, value) == stored, "storing the same value again changes nothing");

    QList<QString> sections{section};
    QList<QString> keys{key};
    namesIn(content, sections, keys);
    for (const QString& s : sections) {
        for (const QString& k : keys) {
            if (sameName(s, section) && sameName(k, key))
                continue;
            const auto before = IniLookup(content, s, k);
            if (!before)
                continue;
            FUZZ_CHECK(IniLookup(stored, s, k) == before, "every other value reads as before");
        }
    }
}

void checkNumberText(const QString& text)
{
    const double v = NumberValue(text);
    FUZZ_CHECK(std::isfinite(v), "the value of a text is a finite number");
    if (!IsNumeric(text))
        return;
    FUZZ_CHECK(NumberValue(text.trimmed()) == v, "a numeric text is worth the same without the blanks around it");
    FUZZ_CHECK(NumberValue(text + u'x') == v, "reading stops at the first character that cannot continue the number");
    FUZZ_CHECK(!IsNumeric(text + u'x'), "a numeric text followed by a letter is not numeric");
}

void checkRounding(double x)
{
    const double r = RoundHalfEven(x);
    const auto i = ToInt32HalfEven(x);
    if (!std::isfinite(x)) {
        FUZZ_CHECK(std::isnan(x) ? std::isnan(r) : r == x, "infinities stay, NaN stays NaN");
        FUZZ_CHECK(!i, "nothing that is not finite fits 32 bits");
        return;
    }
    FUZZ_CHECK(r == std::trunc(r), "the rounded value is whole");
    const double off = std::fabs(r - x);
    FUZZ_CHECK(off <= 0.5, "rounding moves a value by at most one half");
    if (off == 0.5)
        FUZZ_CHECK(std::fmod(r, 2.0) == 0.0, "halves go to the even neighbour");
    const bool fits = r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max();
    FUZZ_CHECK(i.has_value() == fits, "the 32-bit value exists exactly when the rounded value fits");
    if (i)
        FUZZ_CHECK(*i == r, "the 32-bit value is the rounded value");

    // The decimal text of a settings number reads back as the same number.
    const QString t = NumberText(x);
    FUZZ_CHECK(IsNumeric(t), "the text of a finite number is numeric");
    FUZZ_CHECK(NumberValue(t) == x, "the text of a number reads back as the same number");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const QString section = QString::fromStdString(in.ConsumeRandomLengthString(24));
    const QString key = QString::fromStdString(in.ConsumeRandomLengthString(24));
    const QString value = QString::fromStdString(in.ConsumeRandomLengthString(48));
    const std::string number = in.ConsumeRandomLengthString(48);
    const double x = std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray content(rest.data(), static_cast<qsizetype>(rest.size()));

    checkStore(content, section, key, value);
    checkNumberText(QString::fromStdString(number));
    checkNumberText(QString::fromLatin1(number.data(), static_cast<qsizetype>(number.size())));
    checkRounding(x);
    return 0;
}
