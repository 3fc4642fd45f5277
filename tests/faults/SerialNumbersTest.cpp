// A fixture's serial number is its identity: whatever happens to the run
// (stop signals, a kill at any moment, stations sharing one counter through
// symbolic links), no number is ever given out twice.
#include "CliFixture.h"
#include "IniFileHandler.h"

#include <QDir>
#include <QThread>
#include <csignal>
#include <memory>
#include <set>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

struct SerialNumbers : CliFixture {
    SerialNumbers() { useImage({.bytesPerBlock = 4}); } // one record: the serial-number step follows at once

    void setCounter(const QString& dir, const QByteArray& value) const
    {
        QFile f(QDir(dir).filePath("setup.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Velmsettings]\r\nSerial=" + value + "\r\n");
    }
    QString counter(const QString& dir) const
    {
        return IniFileHandler(QDir(dir).filePath("setup.ini")).ReadIni("Velmsettings", "Serial", "");
    }
};

} // namespace

TEST_F(SerialNumbers, StopSignalsDuringTheStepLetItFinish)
{
    setCounter(folder.path(), "7000");
    // Paced, so that the signals come while the number is on its way.
    Simulator sim({"--device", "fixture", "--baud", "1200", "--dump", dump()});
    ASSERT_TRUE(sim.Started());
    CliRun run(args(sim.TerminalPath(), {"--quiet"}));
    ASSERT_TRUE(run.WaitForOutput("serial number: 7000"));
    run.Signal(SIGINT);
    QThread::msleep(20);
    run.Signal(SIGINT);
    const CliResult r = run.Finish();
    sim.Stop();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_TRUE(r.errText().contains("the run stops once the fixture's serial number is stored")) << r.errText().toStdString();
    EXPECT_TRUE(r.errText().contains("stopped by SIGINT")) << r.errText().toStdString();
    EXPECT_EQ(DumpedSerialNumber(dump()), 7000);
    EXPECT_EQ(counter(folder.path()), "7001");
    EXPECT_FALSE(folder.exists("setup.ini.lock"));
}

TEST_F(SerialNumbers, AKillAtAnyMomentOfTheStepLeavesAGapNeverADuplicate)
{
    setCounter(folder.path(), "100");
    std::set<long long> held;
    for (int round = 0; round < 30; ++round) {
        const QString dump = folder.file(QStringLiteral("dump-%1").arg(round));
        Simulator sim({"--device", "fixture", "--dump", dump});
        ASSERT_TRUE(sim.Started());
        CliRun run(args(sim.TerminalPath(), {"--quiet"}));
        ASSERT_TRUE(run.WaitForOutput("Programming Velmora module")) << "round " << round;
        QThread::usleep(static_cast<unsigned long>(round) * 200); // 0 to 6 ms into the step
        run.Signal(SIGKILL);
        run.Finish();
        sim.Stop();

        const long long number = DumpedSerialNumber(dump);
        if (number < 0)
            continue; // killed before the number reached the fixture
        EXPECT_LT(number, counter(folder.path()).toLongLong()) << "round " << round << ": the counter is not past " << number;
        EXPECT_TRUE(held.insert(number).second) << "round " << round << ": " << number << " given twice";
    }
}

TEST_F(SerialNumbers, StationsSharingOneCounterThroughLinksNeverShareANumber)
{
    // Two stations work from the counter's own folder, two through links.
    ASSERT_TRUE(QDir(folder.path()).mkpath("shared"));
    const QString shared = folder.file("shared");
    setCounter(shared, "1000");
    QStringList stations{shared, shared};
    for (const char* name : {"a", "b"}) {
        ASSERT_TRUE(QDir(folder.path()).mkpath(name));
        ASSERT_TRUE(QFile::link("../shared/setup.ini", folder.file(QStringLiteral("%1/setup.ini").arg(name))));
        stations << folder.file(name);
    }
    std::set<long long> given;
    constexpr int Rounds = 5;
    for (int round = 0; round < Rounds; ++round) {
        std::vector<std::unique_ptr<Simulator>> sims;
        std::vector<std::unique_ptr<CliRun>> runs;
        for (int i = 0; i < stations.size(); ++i) {
            sims.push_back(std::make_unique<Simulator>(
                QStringList{"--device", "fixture", "--dump", folder.file(QStringLiteral("dump-%1-%2").arg(round).arg(i))}));
            ASSERT_TRUE(sims.back()->Started());
            runs.push_back(std::make_unique<CliRun>(
                QStringList{"--config-dir", stations[i], "--port", sims.back()->TerminalPath(), "--quiet", folder.file("fw.ldr")}));
        }
        for (int i = 0; i < stations.size(); ++i) {
            EXPECT_EQ(runs[i]->Finish().exitCode, 0) << "round " << round;
            sims[i]->Stop();
            given.insert(DumpedSerialNumber(folder.file(QStringLiteral("dump-%1-%2").arg(round).arg(i))));
        }
    }
    EXPECT_EQ(given.size(), std::size_t(Rounds * stations.size()));
    EXPECT_EQ(*given.begin(), 1000);
    EXPECT_EQ(counter(shared), QString::number(1000 + Rounds * stations.size()));
    EXPECT_TRUE(QFileInfo(folder.file("a/setup.ini")).isSymLink()); // the link is still a link
    for (const char* lock : {"shared/setup.ini.lock", "a/setup.ini.lock", "b/setup.ini.lock"})
        EXPECT_FALSE(folder.exists(lock)) << lock;
}
