// vlboot-mkfw: writes the deterministic firmware images of the demo, the
// tests and the benchmarks, and verifies a simulator's flash dump against a
// firmware file.

#include "ExitStatus.h"
#include "FirmwareImage.h"
#include "Version.h"
#include "VerifyDump.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSaveFile>
#include <cstdio>

namespace {

// Writes the image the options shape into `out`; the exit status.
int writeImage(const QCommandLineParser& p, const QString& out)
{
    vlboot::sim::ImageShape shape;
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vlboot-mkfw"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(vlboot::VersionText));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes a deterministic Intel HEX firmware image to OUT, or with --verify\n"
        "compares a simulator's dump with the image a standard Intel HEX reader\n"
        "makes of the firmware file OUT (data records up to the end record, later\n"
        "records winning; 02 and 04 address records). Bytes the file does not\n"
        "define are not compared.\n"
        "Amplifier (DIR/block-NNN.bin): each block the file has data in, a line\n"
        "'block N: flash equals the file (B bytes)', 'block N: flash DIFFERS from\n"
        "the file: D of B bytes, the first at 0xADDRESS (flash 0xXX, file 0xYY)'\n"
        "or 'block N: never programmed (B bytes in the file)'; then 'the flash\n"
        "equals the file: ...' or 'the flash DIFFERS from the file: ...'. Block\n"
        "42's bytes 0 and 1 (the flash CRC) count like any other.\n"
        "Fixture (DIR/memory.bin, or --fixture): 'memory: equals the file (B\n"
        "bytes)' or 'memory: DIFFERS from the file: ...' against the file folded\n"
        "to 16-bit addresses, the serial-number record 0x7FFB..0x7FFF left out\n"
        "unless --strict-serial; then 'serial number: N' (or 'none written').\n"
        "Exit status of --verify: 0 equal, 1 not equal, 2 the file is no Intel\n"
        "HEX (the line is named) or a dump file or folder is missing or a file\n"
        "is not 64 KiB; "
        "64 bad usage."));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"first-block", "First flash block number.", "N", "0"},
        {"blocks", "Number of flash blocks.", "N", "3"},
        {"bytes-per-block", "Data bytes in each block.", "N", "8192"},
        {"record-size", "Data bytes per record (1..255).", "N", "32"},
        {"seed", "Seed of the data bytes.", "N", "1"},
        {"verify", "Verify the dump in DIR against the firmware file OUT.", "DIR"},
        {"fixture", "With --verify: DIR holds a fixture's memory.bin (also found by itself)."},
        {"strict-serial", "With --verify: compare the fixture's serial-number record 0x7FFB..0x7FFF too."},
    });
    p.addPositionalArgument("OUT", "The firmware file to write (or to verify against).");
    if (!p.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "vlboot-mkfw: %s\nTry 'vlboot-mkfw --help'.\n", qPrintable(p.errorText()));
        return vlboot::ExitStatus::Usage;
    }
    if (p.isSet("help") || p.isSet("help-all"))
        p.showHelp(0);
    if (p.isSet("version"))
        p.showVersion();
    const bool verifying = p.isSet("verify");
    if (p.positionalArguments().size() != 1 || (!verifying && (p.isSet("fixture") || p.isSet("strict-serial")))) {
        std::fprintf(stderr, "%s", qPrintable(p.helpText()));
        return vlboot::ExitStatus::Usage;
    }
    const QString out = p.positionalArguments().first();
    if (verifying)
        return vlboot::sim::VerifyDump(p.value("verify"), out, p.isSet("fixture"), p.isSet("strict-serial"));

    return writeImage(p, out);
}
