// Two production-line stations programming fixtures at the same time from
// one settings folder must never give out the same serial number.
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

std::uint32_t serialIn(const QString& memoryFile)
{
    QFile f(memoryFile);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray m = f.readAll();
    if (m.size() != 65536 || static_cast<std::uint8_t>(m.at(0x7FFB)) != 0x0B)
        return 0;
    std::uint32_t serial = 0;
    for (int i = 0x7FFC; i <= 0x7FFF; ++i)
        serial = serial << 8 | static_cast<std::uint8_t>(m.at(i));
    return serial;
}

QString counter(const vlboot::test::TestFolder& folder)
{
    const QRegularExpression re(QStringLiteral("^Serial=(.*)$"), QRegularExpression::MultilineOption);
    return re.match(QString::fromUtf8(folder.read("setup.ini"))).captured(1).trimmed();
}

} // namespace

TEST(CliConcurrency, TwoFixtureRunsFromOneSettingsFolderGetDifferentNumbers)
{
    vlboot::test::TestFolder folder;
    folder.write("setup.ini", "[Velmsettings]\nSerial=1000\n");
    sim::ImageShape shape;
    shape.bytesPerBlock = 256;
    folder.write("fixture.ldr", sim::MakeImage(shape).hex);

    std::uint32_t next = 1000;
    for (int round = 0; round < 3; ++round) {
        const QString dumps[2] = {folder.file(QStringLiteral("dump-%1-a").arg(round)),
                                  folder.file(QStringLiteral("dump-%1-b").arg(round))};
        std::unique_ptr<Simulator> sims[2];
        std::unique_ptr<CliRun> runs[2];
        for (int i = 0; i < 2; ++i) {
            sims[i] = std::make_unique<Simulator>(QStringList{"--device", "fixture", "--dump", dumps[i]});
            ASSERT_TRUE(sims[i]->Started());
        }
        for (int i = 0; i < 2; ++i)
            runs[i] = std::make_unique<CliRun>(QStringList{"--config-dir", folder.path(), "--port",
                                                           sims[i]->TerminalPath(), "--quiet", folder.file("fixture.ldr")});
        for (int i = 0; i < 2; ++i) {
            const CliResult r = runs[i]->Finish();
            ASSERT_TRUE(r.finished) << r.out.toStdString() << r.errText().toStdString();
            EXPECT_EQ(r.exitCode, 0) << r.errText().toStdString();
            sims[i]->Stop();
        }

        const std::uint32_t a = serialIn(QDir(dumps[0]).filePath("memory.bin"));
        const std::uint32_t b = serialIn(QDir(dumps[1]).filePath("memory.bin"));
        EXPECT_NE(a, b) << "round " << round;
        EXPECT_EQ(std::min(a, b), next) << "round " << round;
        EXPECT_EQ(std::max(a, b), next + 1) << "round " << round;
        next += 2;
        EXPECT_EQ(counter(folder), QString::number(next)) << "round " << round;
    }
}
