// The Start button programs a firmware file into the simulated amplifier
// through a real serial port (a pseudo-terminal served by vlboot-sim).

#include "FirmwareImage.h"
#include "ScriptedDialogs.h"
#include "VLboot.h"
#include "WindowSetup.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QProgressBar>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::test;

namespace {

// vlboot-sim running beside the test; its terminal path and flash dump.
struct Simulator {
    QProcess process;
    QString path;

    Simulator(const QStringList& args)
    {
        process.start(QStringLiteral(VLBOOT_SIM), args);
        if (process.waitForStarted(5000) && process.waitForReadyRead(5000))
            path = QString::fromUtf8(process.readLine()).trimmed();
    }
    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // Stops it; it writes its dump on the way out.
    bool stop()
    {
        process.terminate();
        return process.waitForFinished(10000) && process.exitCode() == 0;
    }
};

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
    Simulator sim({"--device", "amplifier", "--dump", dump});
    ASSERT_TRUE(sim.path.startsWith("/dev/")) << sim.path.toStdString();

    const sim::Image image = sim::MakeImage({.firstBlock = 1, .blockCount = 2, .bytesPerBlock = 2048, .seed = 7});
    dir.write("fw.ldr", image.hex);
    WriteSetup(dir, "[ComSettings]\r\nComPort=2\r\nComSpeed=115200\r\n[Velmsettings]\r\nFirmwareFile=" + dir.file("fw.ldr").toUtf8() + "\r\n",
               {{2, sim.path}});

    ScriptedDialogs dialogs;
    VLboot window(dir.path(), dialogs);
    EXPECT_TRUE(window.COM[2]->isVisible());
    window.BtnStart->click();

    EXPECT_EQ(window.LblStatusText->text(), "Done with succes");
    EXPECT_EQ(window.ProgressBar->value(), 100);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(window.BtnStart->isEnabled());
    EXPECT_TRUE(window.TxtVelmfile->isEnabled());

    ASSERT_TRUE(sim.stop());
    for (const auto& [block, content] : image.blocks)
        EXPECT_EQ(readFile(QDir(dump).filePath(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0')))), content) << block;
}
