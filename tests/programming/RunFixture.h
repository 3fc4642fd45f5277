#pragma once

#include "Bootloader.h"
#include "CommandTable.h"
#include "FakeWaitClock.h"
#include "FirmwareImage.h"
#include "ModelLink.h"
#include "ProgramModule.h"
#include "Settings.h"
#include "TestFiles.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vlboot::test {

// A view that records what a run shows.
struct RecordingView final : RunView {
    QStringList captions;
    std::vector<float> progress;
    int boxes = 0;
    QString why;
    QStringList warnings;
    std::function<void()> onBox;

    void SetCaption(const QString& c) override { captions << c; }
    void SetProgress(float v) override { progress.push_back(v); }
    void ShowFailureBox() override
    {
        ++boxes;
        if (onBox)
            onBox();
    }
    void ExplainFailure(const QString& w) override { why = w; }
    void Warn(const QString& w) override { warnings << w; }
};

// One programming run against the device model, through the in-process link.
struct RunFixture : ::testing::Test {
    TestFolder dir;
    Settings settings{dir.path()};
    sim::ModelLink link{sim::DeviceKind::Amplifier};
    FakeWaitClock clock;
    Bootloader device{link, settings, clock};
    RecordingView view;
    StopRequest stop;
    ProgrammingRun run{device, settings, view, stop};

    void SetUp() override
    {
        RSfunctions::InitCommandTable();
        device.SetStopRequest(&stop);
    }

    sim::DeviceModel& model() { return link.Model(); }

    void useDevice(sim::DeviceKind kind)
    {
        // The link was built for the amplifier; swap the model's far end.
        link.Model() = sim::DeviceModel(kind);
    }

    bool program(const QByteArray& fileContent)
    {
        dir.write("fw.ldr", fileContent);
        return run.ProgramModule(dir.file("fw.ldr"));
    }

    // The requests the device saw, one word each; runs of memory writes
    // are folded into "write*N".
    std::string requests() const;
};

// The amplifier run's erase requests, as RunFixture::requests() names them.
inline const std::string Erase = "erase0 erase1 erase2 erase3 erase4 erase5 erase42";

// Data record of `n` bytes starting with `first`, counting up.
QByteArray DataRecord(std::uint16_t offset, int n, std::uint8_t first = 0);

} // namespace vlboot::test
