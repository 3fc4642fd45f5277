// Two production-line stations programming fixtures at the same moment from
// one settings folder, round after round: every fixture gets its own serial
// number, and the counter moves on by exactly one per fixture.
#include "FaultRuns.h"
#include "FirmwareImage.h"
#include "IniFileHandler.h"
#include "TestFiles.h"

#include <QDir>
#include <gtest/gtest.h>
#include <memory>
#include <set>

using namespace vlboot;
using namespace vlboot::cli::test;
using namespace vlboot::faults;

TEST(FixtureConcurrency, TwoRunsAtOnceNeverShareASerialNumber)
{
    constexpr int Rounds = 5;
    constexpr long long Start = 0x01020304; // a number with every byte in use
    vlboot::test::TestFolder folder;
    folder.write("setup.ini", "[Velmsettings]\r\nSerial=" + QByteArray::number(Start) + "\r\n");
    sim::ImageShape shape;
    shape.bytesPerBlock = 2048;
    folder.write("fixture.ldr", sim::MakeImage(shape).hex);
    const IniFileHandler ini(folder.file("setup.ini"));

    std::set<long long> given;
    for (int round = 0; round < Rounds; ++round) {
        const QString dumps[2] = {folder.file(QStringLiteral("dump-%1-a").arg(round)),
                                  folder.file(QStringLiteral("dump-%1-b").arg(round))};
        std::unique_ptr<Simulator> sims[2];
        for (int i = 0; i < 2; ++i) {
            sims[i] = std::make_unique<Simulator>(QStringList{"--device", "fixture", "--dump", dumps[i]});
            ASSERT_TRUE(sims[i]->Started());
        }
        std::unique_ptr<CliRun> runs[2];
        for (int i = 0; i < 2; ++i)
            runs[i] = std::make_unique<CliRun>(QStringList{"--config-dir", folder.path(), "--port", sims[i]->TerminalPath(),
                                                           "--quiet", folder.file("fixture.ldr")});
        for (int i = 0; i < 2; ++i) {
            const CliResult r = runs[i]->Finish();
            ASSERT_TRUE(r.finished) << "round " << round;
            EXPECT_EQ(r.exitCode, 0) << "round " << round << ": " << r.errText().toStdString();
            sims[i]->Stop();
        }

        const long long a = SerialNumberIn(SerialRecord(dumps[0]));
        const long long b = SerialNumberIn(SerialRecord(dumps[1]));
        const long long next = Start + 2 * round;
        EXPECT_NE(a, b) << "round " << round;
        EXPECT_EQ(std::set<long long>({a, b}), std::set<long long>({next, next + 1})) << "round " << round;
        given.insert({a, b});
        EXPECT_EQ(ini.ReadIni("Velmsettings", "Serial", ""), QString::number(next + 2)) << "round " << round;
    }
    EXPECT_EQ(given.size(), std::size_t(2 * Rounds));
    EXPECT_EQ(ini.ReadIni("Velmsettings", "Serial", ""), QString::number(Start + 2 * Rounds));
    EXPECT_FALSE(QFile::exists(folder.file("setup.ini.lock"))) << "a run kept the settings lock";
}
