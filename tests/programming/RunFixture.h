#pragma once

#include "DeviceProtocol.h"
#include "FakeWaitClock.h"
#include "FirmwareImage.h"
#include "ModelLink.h"
#include "ProgrammingSession.h"
#include "Station.h"
#include "TestFiles.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vlboot::test {

// A view that records what a run shows.
struct RecordingView final : StationView {
    QStringList captions;
    std::vector<float> progress;
    int boxes = 0;
    QString why;
    QStringList warnings;
    std::optional<UnitResult> result;

    void SetCaption(const QString& c) override { captions << c; }
    void SetProgress(float v) override { progress.push_back(v); }
    void ShowFailureBox() override { ++boxes; }
    void ExplainFailure(const QString& w) override { why = w; }
    void Warn(const QString& w) override { warnings << w; }
    void ShowMessage(const QString&, const QString&) override {}
    void Finish(const UnitResult& r) override { result = r; }
};

// Units programmed by a station whose link has the device model at its far
// end, with a clock that costs no real time.
struct RunFixture : ::testing::Test {
    TestFolder dir;
    sim::ModelLink* link = new sim::ModelLink(sim::DeviceKind::Amplifier);
    FakeWaitClock* clock = new FakeWaitClock;
    Station station{StationSetup(dir.path(), "test"), std::unique_ptr<Link>(link), std::unique_ptr<WaitClock>(clock)};
    ProgrammingSession& session = station.Session();
    RecordingView view;

    sim::DeviceModel& model() { return link->Model(); }
    // A fresh device of `kind`, and a fresh view.
    void useDevice(sim::DeviceKind kind)
    {
        model() = sim::DeviceModel(kind);
        view = RecordingView();
    }
    RunOutcome program(const QByteArray& fileContent)
    {
        dir.write("fw.ldr", fileContent);
        return programFile(dir.file("fw.ldr"));
    }
    RunOutcome programFile(const QString& file)
    {
        station.Program(file, view);
        return session.Last().outcome;
    }
    // The requests the device saw, one word each; runs of memory writes are
    // folded into "write*N".
    std::string requests() const;
};

// The amplifier run's erase requests, as requests() names them.
inline const std::string Erase = "erase0 erase1 erase2 erase3 erase4 erase5 erase42";

// Data record of `n` bytes at `offset`, counting up from `first`.
inline QByteArray DataRecord(std::uint16_t offset, int n, std::uint8_t first = 0)
{
    QByteArray data(n, 0);
    for (int i = 0; i < n; ++i)
        data[i] = static_cast<char>(first + i);
    return sim::HexRecord(0x00, offset, data);
}

inline std::string RunFixture::requests() const
{
    // In the order of sim::Request.
    static const char* const names[] = {"detect", "enter", "exit", "write", "erase", "program", "crc", "flashcrc", "?"};
    std::string out;
    int writes = 0;
    for (const sim::RequestRecord& r : link->Model().Requests()) {
        if (r.request == sim::Request::MemoryWrite && ++writes > 1)
            continue;
        if (r.request != sim::Request::MemoryWrite && writes)
            out += "*" + std::to_string(std::exchange(writes, 0));
        out += std::string(out.empty() ? "" : " ") + names[int(r.request)];
        if (r.request == sim::Request::Erase || r.request == sim::Request::Program)
            out += std::to_string(static_cast<std::uint8_t>(r.frame.at(7)));
    }
    return writes ? out + "*" + std::to_string(writes) : out;
}

} // namespace vlboot::test
