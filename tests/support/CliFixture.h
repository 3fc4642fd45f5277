#pragma once

#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace vlboot::cli::test {

// vlboot-cli runs against vlboot-sim in a fresh settings folder that also
// holds the firmware file "fw.ldr" (two small blocks unless a test asks for
// another image) and the simulator's dump folder "dump".
struct CliFixture : ::testing::Test {
    vlboot::test::TestFolder folder;
    sim::Image image;

    CliFixture() { useImage({.blockCount = 2, .bytesPerBlock = 320, .seed = 7}); }
    void useImage(const sim::ImageShape& shape)
    {
        image = sim::MakeImage(shape);
        folder.write("fw.ldr", image.hex);
    }
    QString dump() const { return folder.file("dump"); }
    // A run of `file` (fw.ldr when empty) on `port`, with `more` options.
    QStringList args(const QString& port, const QStringList& more = {}, const QString& file = {}) const
    {
        return QStringList{"--config-dir", folder.path(), "--port", port} + more
            + QStringList{file.isEmpty() ? folder.file("fw.ldr") : file};
    }
    // A run to its end against a simulator started with `simArgs`, dumping into dump().
    CliResult runAgainst(const QStringList& simArgs, const QStringList& more = {"--quiet", "--reply-timeout", "2"})
    {
        Simulator sim(simArgs + QStringList{"--dump", dump()});
        const CliResult r = RunCli(args(sim.TerminalPath(), more));
        sim.Stop();
        return r;
    }
};

} // namespace vlboot::cli::test
