// A fixture's serial number is its identity: whatever happens to the run
// (stop signals, a kill at any moment), no number is ever given out twice.
// (Several runs sharing one counter are met by the production line.)
#include "CliFixture.h"
#include "IniFileHandler.h"

#include <QThread>
#include <csignal>
#include <set>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

struct SerialNumbers : CliFixture {
    SerialNumbers() { useImage({.bytesPerBlock = 4}); } // one record: the serial-number step follows at once

    void setCounter(const QByteArray& value) const { folder.write("setup.ini", "[Velmsettings]\r\nSerial=" + value + "\r\n"); }
    QString counter() const { return IniFileHandler(folder.file("setup.ini")).ReadIni("Velmsettings", "Serial", ""); }
};

} // namespace

TEST_F(SerialNumbers, StopSignalsDuringTheStepLetItFinish)
{
    setCounter("7000");
    // Paced, so that the signals come while the number is on its way.
    Simulator sim({"--device", "fixture", "--baud", "1200", "--dump", dump()});
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
    EXPECT_EQ(counter(), "7001");
}

TEST_F(SerialNumbers, AKillAtAnyMomentOfTheStepLeavesAGapNeverADuplicate)
{
    setCounter("100");
    std::set<long long> held;
    for (int round = 0; round < 30; ++round) {
        const QString dump = folder.file(QStringLiteral("dump-%1").arg(round));
        Simulator sim({"--device", "fixture", "--dump", dump});
        CliRun run(args(sim.TerminalPath(), {"--quiet"}));
        ASSERT_TRUE(run.WaitForOutput("Programming Velmora module")) << "round " << round;
        QThread::usleep(static_cast<unsigned long>(round) * 200); // 0 to 6 ms into the step
        run.Signal(SIGKILL);
        run.Finish();
        sim.Stop();

        const long long number = DumpedSerialNumber(dump);
        if (number < 0)
            continue; // killed before the number reached the fixture
        EXPECT_LT(number, counter().toLongLong()) << "round " << round << ": the counter is not past " << number;
        EXPECT_TRUE(held.insert(number).second) << "round " << round << ": " << number << " given twice";
    }
}

