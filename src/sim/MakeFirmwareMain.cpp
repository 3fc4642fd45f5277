// vlboot-mkfw: writes the deterministic firmware images of the demo, the
// tests and the benchmarks, and verifies a simulator's flash dump against a
// firmware file.

#include "ExitStatus.h"
#include "FirmwareImage.h"
#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cstdio>
#include <map>

namespace {

using vlboot::sim::ImageShape;

// The flash content a firmware file describes, block by block (bytes not
// named stay 0xFF). Read independently of the programming code: this is the
// yardstick the programmed flash is held against.
bool expectedBlocks(const QString& fileName, std::map<int, QByteArray>& blocks, QString& error)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        error = fileName + ": " + f.errorString();
        return false;
    }
    int block = 0xFF;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (!line.startsWith(':') || line.size() < 11)
            continue;
        const QByteArray bytes = QByteArray::fromHex(line.mid(1));
        const int n = static_cast<std::uint8_t>(bytes[0]);
        const int offset = static_cast<std::uint8_t>(bytes[1]) * 256 + static_cast<std::uint8_t>(bytes[2]);
        const int type = static_cast<std::uint8_t>(bytes[3]);
        if (bytes.size() < n + 5)
            continue;
        if (type == 4 && n == 2) {
            block = static_cast<std::uint8_t>(bytes[5]);
        } else if (type == 0) {
            QByteArray& b = blocks[block];
            if (b.isEmpty())
                b = QByteArray(65536, static_cast<char>(0xFF));
            for (int i = 0; i < n && offset + i < 65536; ++i)
                b[offset + i] = bytes[4 + i];
        } else if (type == 1) {
            break;
        }
    }
    return true;
}

int verify(const QString& fileName, const QString& dumpDir)
{
    std::map<int, QByteArray> blocks;
    QString error;
    if (!expectedBlocks(fileName, blocks, error)) {
        std::fprintf(stderr, "vlboot-mkfw: %s\n", qPrintable(error));
        return 1;
    }
    int bad = 0;
    for (const auto& [no, content] : blocks) {
        QFile dump(QDir(dumpDir).filePath(QStringLiteral("block-%1.bin").arg(no, 3, 10, QLatin1Char('0'))));
        if (!dump.open(QIODevice::ReadOnly)) {
            std::printf("block %3d: missing from the flash dump\n", no);
            ++bad;
            continue;
        }
        const bool same = dump.readAll() == content;
        std::printf("block %3d: %s\n", no, same ? "flash equals the file" : "flash DIFFERS from the file");
        bad += same ? 0 : 1;
    }
    return bad == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vlboot-mkfw"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(vlboot::VersionText));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes a deterministic Intel HEX firmware image to OUT, or with --verify\n"
        "compares a simulator's flash dump (block-NNN.bin files) with a firmware file."));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"first-block", "First flash block number.", "N", "0"},
        {"blocks", "Number of flash blocks.", "N", "3"},
        {"bytes-per-block", "Data bytes in each block.", "N", "8192"},
        {"record-size", "Data bytes per record (1..255).", "N", "32"},
        {"seed", "Seed of the data bytes.", "N", "1"},
        {"verify", "Verify the flash dump in DIR against the firmware file OUT.", "DIR"},
    });
    p.addPositionalArgument("OUT", "The firmware file to write (or to verify against).");
    p.process(app);
    if (p.positionalArguments().size() != 1) {
        std::fprintf(stderr, "%s", qPrintable(p.helpText()));
        return vlboot::ExitStatus::Usage;
    }
    const QString out = p.positionalArguments().first();
    if (p.isSet("verify"))
        return verify(out, p.value("verify"));

    ImageShape shape;
    bool ok[5];
    shape.firstBlock = p.value("first-block").toInt(&ok[0]);
    shape.blockCount = p.value("blocks").toInt(&ok[1]);
    shape.bytesPerBlock = p.value("bytes-per-block").toInt(&ok[2]);
    shape.recordSize = p.value("record-size").toInt(&ok[3]);
    shape.seed = p.value("seed").toUInt(&ok[4]);
    if (!(ok[0] && ok[1] && ok[2] && ok[3] && ok[4]) || shape.firstBlock < 0 || shape.blockCount < 0
        || shape.bytesPerBlock < 0 || shape.bytesPerBlock > 65536 || shape.recordSize < 1 || shape.recordSize > 255) {
        std::fprintf(stderr, "vlboot-mkfw: bad image shape\n");
        return vlboot::ExitStatus::Usage;
    }
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "vlboot-mkfw: %s: %s\n", qPrintable(out), qPrintable(file.errorString()));
        return 1;
    }
    const std::int64_t bytes = vlboot::sim::WriteImage(file, shape);
    if (!file.commit()) {
        std::fprintf(stderr, "vlboot-mkfw: %s: %s\n", qPrintable(out), qPrintable(file.errorString()));
        return 1;
    }
    std::printf("%s: %lld data bytes in %d blocks\n", qPrintable(out), static_cast<long long>(bytes), shape.blockCount);
    return 0;
}
