// Firmware lines and the checking pass over a whole file, on arbitrary bytes.
//
// The input is the content of a firmware file. Each of its lines goes through
// the FirmwareLine accessors, the checksum test and the line-end stripping;
// the whole input, written to one scratch file, goes through the checking
// pass, whose verdict is compared with one worked out here line by line.

#include "FirmwareCheck.h"
#include "FirmwareFile.h"
#include "FirmwareLine.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstdint>

using namespace vlboot;

namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// The byte of the two characters at 1-based `position`, 0 where the line
// has fewer than two characters left.
int byteAt(QByteArrayView line, int position)
{
    const qsizetype start = position - 1;
    if (start < 0 || start + 2 > line.size())
        return 0;
    return digitValue(line[start]) * 16 + digitValue(line[start + 1]);
}

// A record is sound when all its bytes, the checksum included, add up to 0
// modulo 256.
bool recordAddsUp(QByteArrayView line)
{
    const int count = byteAt(line, 2);
    unsigned sum = 0;
    for (int k = 1; k <= count + 5; ++k) // count, address (2), type, data, checksum
        sum += static_cast<unsigned>(byteAt(line, 2 * k));
    return sum % 256 == 0;
}

void checkOneLine(QByteArrayView line)
{
    const FirmwareLine l(line);
    FUZZ_CHECK(l.IsShort() == (line.size() <= 5), "a line is short exactly when it has 5 characters or fewer");
    FUZZ_CHECK(l.Count() == byteAt(line, 2), "count is the byte at position 2");
    FUZZ_CHECK(l.Offset() == byteAt(line, 4) * 256 + byteAt(line, 6), "offset is the bytes at 4 and 6, high first");
    FUZZ_CHECK(l.Type() == byteAt(line, 8), "type is the byte at position 8");
    for (int p = -2; p <= line.size() + 3; ++p)
        FUZZ_CHECK(l.ByteAt(p) == byteAt(line, p), "ByteAt reads two hexadecimal digits, 0 past the end");
    for (int i = 0; i < l.Count(); ++i)
        FUZZ_CHECK(l.DataByte(i) == byteAt(line, 10 + 2 * i), "data byte i stands at 10 + 2i");

    const bool sound = CheckLineChecksum(line);
    FUZZ_CHECK(sound == recordAddsUp(line), "the checksum test accepts exactly the records that add up to 0");

    // Hexadecimal digits are read without regard to case.
    const QByteArray lower = line.toByteArray().toLower();
    FUZZ_CHECK(CheckLineChecksum(lower) == sound, "lower-case digits give the same checksum verdict");
}

// The file's lines as a line-by-line reader sees them, without their line
// ends: LF, CR LF and a lone CR each end a line; a last line without one
// still counts; nothing after the final line end does.
QList<QByteArray> fileLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    QByteArray line;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char c = content.at(i);
        if (c != '\n' && c != '\r') {
            line.append(c);
            continue;
        }
        lines.append(line);
        line.clear();
        if (c == '\r' && i + 1 < content.size() && content.at(i + 1) == '\n')
            ++i;
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

// What is wrong with a line for the checking pass; nullptr when nothing is.
const char* lineFault(QByteArrayView text)
{
    if (text.size() > FirmwareFile::LongestLine)
        return "longer than any record";
    if (text.size() <= 5)
        return nullptr;
    if (!recordAddsUp(text))
        return "checksum";
    const int type = byteAt(text, 8);
    if (type != 0x00 && type != 0x01)
        return nullptr;
    const int count = byteAt(text, 2);
    if (count > 32)
        return "record of";
    if (byteAt(text, 4) * 256 + byteAt(text, 6) + count > 65536)
        return "runs past";
    return nullptr;
}

void checkWholeFile(const QByteArray& content)
{
    static const QString fileName = fuzz::ScratchFolder().filePath(QStringLiteral("fw.ldr"));
    {
        QFile f(fileName);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "the scratch file can be written");
        FUZZ_CHECK(f.write(content) == content.size(), "the scratch file takes the whole input");
    }
    int found = 0;
    const FirmwareCheckResult r = CheckFirmwareFile(fileName, [&found] { ++found; });
    FUZZ_CHECK(r.found && found == 1, "an existing file is found, and told once");

    const QList<QByteArray> lines = fileLines(content);
    double total = 0;
    long long firstBad = 0;
    const char* why = nullptr;
    for (qsizetype i = 0; i < lines.size() && firstBad == 0; ++i) {
        const QByteArrayView text = lines[i];
        if ((why = lineFault(text)) != nullptr) {
            firstBad = i + 1;
            break;
        }
        const int type = byteAt(text, 8);
        if (text.size() > 5 && (type == 0x00 || type == 0x01))
            total += byteAt(text, 2);
    }

    FUZZ_CHECK(r.ok == (firstBad == 0), "the file passes exactly when no line is at fault");
    if (r.ok) {
        FUZZ_CHECK(r.failedLine == 0 && r.why.isEmpty(), "a passed file names no line and no fault");
        FUZZ_CHECK(r.totalBytes == total, "the total is the sum of the counts of the data and end records");
    } else {
        FUZZ_CHECK(r.failedLine == firstBad, "the failed line is the first line at fault");
        FUZZ_CHECK(r.failedLine >= 1 && r.failedLine <= lines.size(), "the failed line is one of the file's lines");
        FUZZ_CHECK(r.why.contains(QStringLiteral("line %1: ").arg(firstBad)) && r.why.contains(QLatin1String(why)),
                   "the explanation names the line and what is wrong with it");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& raw : fileLines(content))
        checkOneLine(raw);
    checkWholeFile(content);
    return 0;
}
