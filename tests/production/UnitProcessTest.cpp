// One unit's vlboot-cli as a production line runs it.
#include "CliProcesses.h"
#include "CsvReader.h"
#include "FirmwareImage.h"
#include "TestFiles.h"
#include "UnitProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

using namespace vlboot;

TEST(UnitProcess, AStopPassedOnBeforeItsProgramTakesStopSignalsEndsTheUnitAsStoppedWithItsRecord)
{
    test::TestFolder dir;
    dir.write("module.ldr", sim::MakeImage({.bytesPerBlock = 256}).hex);
    cli::test::Simulator sim({"--device", "amplifier"});
    const QString file = dir.file("module.ldr");
    const UnitCommand command
        = UnitCommandFor(QDir(QCoreApplication::applicationDirPath()).filePath("vlboot-cli"), dir.path(), file, CheckFirmwareFile(file));
    UnitProcess unit(command, sim.TerminalPath(), UnitPlace{"vlboot-cli", "", sim.TerminalPath(), 9600, "1"});
    QEventLoop loop;
    QObject::connect(&unit, &UnitProcess::Done, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, [&loop] { loop.exit(1); });
    unit.Start();
    unit.Stop(SIGTERM); // at once: its program has not started yet
    ASSERT_EQ(loop.exec(), 0);
    EXPECT_EQ(unit.State().Outcome(), "stopped") << unit.State().why.toStdString();
    EXPECT_EQ(unit.State().status, 128 + SIGTERM);
    const auto records = CsvRecords(dir.read("runs.csv"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["outcome"], "stopped");
    EXPECT_EQ(records[0]["exchanges"], "0"); // nothing reached the line
}
