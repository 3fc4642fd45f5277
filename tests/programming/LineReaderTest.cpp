#include "FirmwareCheck.h"
#include "FirmwareImage.h"
#include "FirmwareLine.h"
#include "HexHelpers.h"
#include "LineReader.h"
#include "TestFiles.h"

#include <QBuffer>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

using namespace vlboot;
using vlboot::test::TestFolder;

namespace {

QList<QByteArray> AllLines(const QByteArray& content, qsizetype maxLength = 1 << 30)
{
    QByteArray data = content;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer, maxLength);
    QList<QByteArray> lines;
    QByteArrayView line;
    while (reader.Next(line))
        lines.append(line.toByteArray());
    EXPECT_FALSE(reader.Failed());
    EXPECT_FALSE(reader.Next(line)); // and stays at the end
    return lines;
}

// A device whose reads fail after `good` bytes.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(QByteArray good) : good_(std::move(good)) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (good_.isEmpty())
            return -1;
        const qint64 n = std::min<qint64>(maxSize, good_.size());
        std::memcpy(data, good_.constData(), static_cast<size_t>(n));
        good_.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray good_;
};

} // namespace

TEST(LineReader, EndsLinesAtLfCrLfAndALoneCrInAnyMix)
{
    using L = QList<QByteArray>;
    EXPECT_TRUE(AllLines("").isEmpty());
    EXPECT_EQ(AllLines("\n"), L({""}));
    EXPECT_EQ(AllLines("a\r\n\nb"), L({"a", "", "b"}));
    EXPECT_EQ(AllLines("a\rb\rc"), L({"a", "b", "c"}));
    EXPECT_EQ(AllLines("a\r\rb\n\rc\r\n"), L({"a", "", "b", "", "c"}));
    EXPECT_EQ(AllLines(QByteArray("x\0y\n", 4)), L({QByteArray("x\0y", 3)}));
}

TEST(LineReader, LinesAcrossAndLongerThanABlock)
{
    const qsizetype block = LineReader::BlockSize;
    // A line ending exactly at the block's end, a CR LF split by the block's
    // end, one running over it, one of three blocks, and a last line without
    // a line end that starts in a new block.
    const QByteArray first = QByteArray(block - 1, 'a');
    const QByteArray second = QByteArray(block - 12, 'b');
    const QByteArray across = QByteArray(block - 5, 'c');
    const QByteArray huge = QByteArray(3 * block + 7, 'd');
    const QByteArray last = QByteArray(block, 'e');
    const QList<QByteArray> expected{first, second, across, huge, last};
    EXPECT_EQ(AllLines(first + '\n' + second + "\r\n" + across + '\r' + huge + '\n' + last), expected);
}

TEST(LineReader, ALineLongerThanAllowedIsCutAndEndsTheReading)
{
    QByteArray data = QByteArray("ok\n") + QByteArray(LineReader::BlockSize * 2, 'x') + "\nnever";
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer, 10);
    QByteArrayView line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "ok");
    EXPECT_FALSE(reader.TooLong());
    ASSERT_TRUE(reader.Next(line));
    EXPECT_TRUE(reader.TooLong());
    EXPECT_EQ(line.size(), 11);
    EXPECT_FALSE(reader.Next(line));
}

TEST(LineReader, AFailedReadEndsTheLinesAndSaysSo)
{
    FailingDevice device(QByteArray("one\ntwo"));
    LineReader reader(device, 100);
    QByteArrayView line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "one");
    EXPECT_FALSE(reader.Next(line)); // "two" is not a whole line: the read after it failed
    EXPECT_TRUE(reader.Failed());
}

TEST(FirmwareLine, ReadsEveryCharacterPairAsTheHexHelperDoes)
{
    for (int hi = 0; hi < 256; ++hi) {
        for (int lo = 0; lo < 256; ++lo) {
            const char pair[2] = {static_cast<char>(hi), static_cast<char>(lo)};
            const QByteArrayView text(pair, 2);
            ASSERT_EQ(FirmwareLine(text).ByteAt(1), ConvertHexStringToByte(text)) << hi << " " << lo;
        }
    }
}

TEST(CheckFirmwareFile, SeesEveryLineOfAFileOfManyBlocks)
{
    TestFolder dir;
    sim::ImageShape shape;
    shape.blockCount = 3;
    const sim::Image image = sim::MakeImage(shape);
    ASSERT_GT(image.hex.size(), 4 * LineReader::BlockSize);
    dir.write("big.ldr", image.hex);
    FirmwareCheckResult r = CheckFirmwareFile(dir.file("big.ldr"));
    EXPECT_TRUE(r.ok) << r.why.toStdString();
    EXPECT_EQ(r.totalBytes, 3 * 65536);

    // A bad checksum in the line that runs over the first block's end, and
    // in the very last line of a file without a line end.
    const qsizetype cut = image.hex.lastIndexOf('\n', LineReader::BlockSize - 1) + 1;
    ASSERT_LT(cut, LineReader::BlockSize);
    const qsizetype lineNo = image.hex.left(cut).count('\n') + 1;
    QByteArray bad = image.hex;
    const qsizetype end = bad.indexOf('\r', cut);
    ASSERT_GT(end, LineReader::BlockSize); // the line does run over
    bad[end - 1] = bad[end - 1] == '0' ? '1' : '0';
    dir.write("bad.ldr", bad);
    r = CheckFirmwareFile(dir.file("bad.ldr"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedLine, lineNo);

    dir.write("tail.ldr", image.hex + ":00000001FE");
    r = CheckFirmwareFile(dir.file("tail.ldr"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedLine, image.hex.count('\n') + 1);
}
