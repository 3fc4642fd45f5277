// vlboot-cli --watch against simulators whose units come and go: each unit
// programmed once, none missed, a unit taken off mid-run recorded as failed,
// a port held by another program said and watched on (and a unit that
// passed before the hold not programmed again after it).
#include "../production/CsvReader.h"
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "SerialPort.h"
#include "TestFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

struct Watch : ::testing::Test {
    vlboot::test::TestFolder folder;

    Watch()
    {
        folder.write("module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 256}).hex);
        folder.write("setup.ini", "[Velmsettings]\r\nSerial=100\r\n");
    }
    QStringList watchArgs(const QStringList& ports, const QStringList& more = {}) const
    {
        QStringList args{"--config-dir", folder.path(), "--watch", "--json", "--reply-timeout", "0.5"};
        for (const QString& port : ports)
            args << "--port" << port;
        return args + more + QStringList{folder.file("module.ldr")};
    }
    // The events of the watch's standard output.
    static std::vector<QJsonObject> events(const CliResult& r)
    {
        std::vector<QJsonObject> list;
        for (const QString& line : r.outLines())
            list.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
        return list;
    }
    static std::vector<QJsonObject> named(const std::vector<QJsonObject>& all, const char* event)
    {
        std::vector<QJsonObject> list;
        std::copy_if(all.begin(), all.end(), std::back_inserter(list), [&](const QJsonObject& o) { return o["event"] == event; });
        return list;
    }
    std::vector<QJsonObject> unitsLog(const QString& name) const
    {
        std::vector<QJsonObject> list;
        for (const QByteArray& line : folder.read(name).split('\n'))
            if (!line.isEmpty())
                list.push_back(QJsonDocument::fromJson(line).object());
        return list;
    }
};

} // namespace

TEST_F(Watch, EveryUnitPlacedIsProgrammedOnceAndNoneIsMissed)
{
    Simulator fixtures({"--device", "fixture", "--leave-after-exit", "0.2", "--absent", "1.0", "--units", "3", "--units-log",
                        folder.file("fixtures.log")});
    Simulator amplifiers({"--device", "amplifier", "--start-absent", "--absent", "0.8", "--leave-after-exit", "0.2", "--units", "3",
                          "--units-log", folder.file("amplifiers.log")});
    CliRun watch(watchArgs({fixtures.TerminalPath(), amplifiers.TerminalPath()}));
    ASSERT_TRUE(watch.WaitForOutput("\"passed\":6")); // the totals after the sixth unit
    watch.Signal(SIGINT);
    const CliResult r = watch.Finish();
    fixtures.Stop();
    amplifiers.Stop();
    EXPECT_EQ(r.exitCode, 130) << r.errText().toStdString();
    for (const char* log : {"fixtures.log", "amplifiers.log"}) {
        const auto units = unitsLog(log);
        EXPECT_EQ(units.size(), 3u) << log;
        for (const QJsonObject& unit : units) {
            EXPECT_EQ(unit["boot_entries"].toInt(), 1) << log; // programmed once, never twice
            EXPECT_EQ(unit["complete_runs"].toInt(), 1) << log;
        }
    }
    const auto all = events(r);
    EXPECT_EQ(named(all, "result").size(), 6u);
    for (const QJsonObject& result : named(all, "result"))
        EXPECT_EQ(result["status"].toInt(), 0) << QJsonDocument(result).toJson().toStdString();
    ASSERT_FALSE(named(all, "totals").empty());
    EXPECT_EQ(named(all, "totals").back()["passed"].toInt(), 6);
    QSet<QString> serials;
    for (const auto& record : CsvRecords(folder.read("runs.csv")))
        if (!record["serial_number"].isEmpty())
            serials << record["serial_number"];
    EXPECT_EQ(serials, (QSet<QString>{"100", "101", "102"}));
    EXPECT_TRUE(r.errText().contains("all") && r.errText().contains("units per hour")); // the totals table
}

TEST_F(Watch, AUnitTakenOffMidRunIsRecordedAsFailedAndTheNextIsWaitedFor)
{
    folder.write("module.ldr", sim::MakeImage({.blockCount = 2, .bytesPerBlock = 2048}).hex);
    Simulator sim({"--device", "amplifier", "--baud", "9600", "--present", "0.6"}); // no unit after it
    CliRun watch(watchArgs({sim.TerminalPath()}));
    ASSERT_TRUE(watch.WaitForOutput("\"state\":\"waiting\"")); // failed, taken off, waited for again
    watch.Signal(SIGTERM);
    const CliResult r = watch.Finish();
    EXPECT_EQ(r.exitCode, 143);
    const auto results = named(events(r), "result");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["outcome"].toString(), "timeout");
    EXPECT_TRUE(results[0]["why"].toString().contains("no answer in time")) << results[0]["why"].toString().toStdString();
    const auto records = CsvRecords(folder.read("runs.csv"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["outcome"], "timeout");
    const auto states = named(events(r), "port");
    EXPECT_TRUE(std::any_of(states.begin(), states.end(), [](const QJsonObject& o) { return o["state"] == "failed"; }));
}

TEST_F(Watch, APortHeldByAnotherProgramIsSaidAndWatchedOn)
{
    Simulator sim({"--device", "amplifier"});
    const QString lock = DeviceLockFolder() + '/' + DeviceLockName(sim.TerminalPath());
    QFile held(lock);
    if (!held.open(QIODevice::WriteOnly) || held.write(QByteArray::number(::getpid()).rightJustified(10) + '\n') <= 0)
        GTEST_SKIP() << "no lock folder to write here";
    held.close();
    CliRun watch(watchArgs({sim.TerminalPath()}));
    const bool said = watch.WaitForOutput("\"state\":\"held\"");
    QFile::remove(lock);
    EXPECT_TRUE(said);
    EXPECT_TRUE(watch.WaitForOutput("\"event\":\"result\"")); // programmed once the port is free
    watch.Signal(SIGINT);
    const CliResult r = watch.Finish();
    EXPECT_TRUE(r.errText().contains("held by another program (locked by process " + QString::number(::getpid())))
        << r.errText().toStdString();
    EXPECT_EQ(named(events(r), "result").size(), 1u);
}

TEST_F(Watch, AUnitStillOnItsPortAfterAnotherProgramHeldItIsNotProgrammedAgain)
{
    Simulator sim({"--device", "fixture"});
    CliRun watch(watchArgs({sim.TerminalPath()}));
    ASSERT_TRUE(watch.WaitForOutput("\"event\":\"result\""));
    const QString lock = DeviceLockFolder() + '/' + DeviceLockName(sim.TerminalPath());
    QFile held(lock);
    if (!held.open(QIODevice::WriteOnly) || held.write(QByteArray::number(::getpid()).rightJustified(10) + '\n') <= 0)
        GTEST_SKIP() << "no lock folder to write here";
    held.close();
    const bool said = watch.WaitForOutput("\"state\":\"held\"");
    QFile::remove(lock);
    EXPECT_TRUE(said);
    EXPECT_TRUE(watch.WaitForOutput("the port can be opened again"));
    watch.Signal(SIGINT);
    const CliResult r = watch.Finish();
    EXPECT_EQ(named(events(r), "result").size(), 1u) << r.out.constData();
}
