// The Start button programs a firmware file into the simulated amplifier
// through a real serial port (a pseudo-terminal served by vlboot-sim).

#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "ScriptedDialogs.h"
#include "VLboot.h"
#include "WindowSetup.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

QByteArray readFile(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(ProgramThroughPty, StartButtonProgramsTheSimulatedAmplifier)
{
    TestFolder dir;
    const QString dump = dir.file("flash");
    cli::test::Simulator sim({"--device", "amplifier", "--dump", dump});
    ASSERT_TRUE(sim.Started());

    const sim::Image image = sim::MakeImage({.firstBlock = 1, .blockCount = 2, .bytesPerBlock = 2048, .seed = 7});
    dir.write("fw.ldr", image.hex);
    WriteSetup(dir, "[ComSettings]\r\nComPort=2\r\nComSpeed=115200\r\n[Velmsettings]\r\nFirmwareFile=" + dir.file("fw.ldr").toUtf8() + "\r\n",
               {{2, sim.TerminalPath()}});

    ScriptedDialogs dialogs;
    VLboot window(dir.path(), dialogs);
    EXPECT_TRUE(window.COM[2]->isVisible());
    window.BtnStart->click();

    EXPECT_EQ(window.LblStatusText->text(), "Done with succes");
    EXPECT_EQ(window.ProgressBar->value(), 100);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(window.BtnStart->isEnabled());
    EXPECT_TRUE(window.TxtVelmfile->isEnabled());

    sim.Stop();
    for (const auto& [block, content] : image.blocks)
        EXPECT_EQ(readFile(QDir(dump).filePath(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0')))), content) << block;
}
