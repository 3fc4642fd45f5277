#include "ReplyStreamRun.h"

#include "ProgrammingSession.h"
#include "FakeWaitClock.h"
#include "FirmwareImage.h"
#include "FuzzSupport.h"
#include "ModelLink.h"
#include "ProgramModule.h"
#include "ReplyStreamOps.h"
#include "Settings.h"

#include <QFile>
#include <QStringList>
#include <cmath>
#include <vector>

namespace vlboot::fuzz {
namespace {

// What the run shows, kept for the checks.
struct RecordingView final : RunView {
    QStringList captions;
    std::vector<float> progress;

    void SetCaption(const QString& c) override { captions << c; }
    void SetProgress(float v) override { progress.push_back(v); }
    void ShowFailureBox() override {}
};

QByteArray dataBytes(int n, std::uint8_t first)
{
    QByteArray data(n, '\0');
    for (int i = 0; i < n; ++i)
        data[i] = static_cast<char>(first + 7 * i);
    return data;
}

// Two flash blocks, a short and a full record in the first, one record at the
// very end of the second; with the end record, or without it.
QString firmwareFile(bool withEndRecord)
{
    const QString name = ScratchFolder().filePath(withEndRecord ? QStringLiteral("two-blocks.ldr")
                                                                : QStringLiteral("no-end.ldr"));
    QByteArray content = sim::BlockRecord(0) + sim::HexRecord(0x00, 0x0000, dataBytes(16, 1))
        + sim::HexRecord(0x00, 0x0010, dataBytes(32, 2)) + sim::BlockRecord(1)
        + sim::HexRecord(0x00, 0xFFE0, dataBytes(32, 3));
    if (withEndRecord)
        content += sim::EndRecord();
    QFile f(name);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size(),
               "the firmware file can be written");
    return name;
}

} // namespace

void RunProgramming(FuzzedDataProvider& in)
{
    static const QString files[] = {firmwareFile(true), firmwareFile(false)};

    const auto kind = static_cast<sim::DeviceKind>(in.ConsumeIntegralInRange(0, 2));
    const QString& file = files[in.ConsumeIntegralInRange(0, 7) == 0 ? 1 : 0];
    auto* owned = new sim::ModelLink(kind);
    sim::ModelLink& link = *owned;
    link.FailOpen = in.ConsumeIntegralInRange(0, 15) == 0;
    link.Model().Seed(in.ConsumeIntegral<std::uint32_t>());
    const int faults = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < faults; ++i) {
        const auto request = static_cast<sim::Request>(in.ConsumeIntegralInRange(0, 8));
        const int occurrence = in.ConsumeIntegralInRange(0, 5);
        sim::Fault f{static_cast<sim::FaultKind>(in.ConsumeIntegralInRange(0, 9))};
        f.status = in.ConsumeIntegral<std::uint8_t>();
        f.chunkSize = in.ConsumeIntegralInRange(1, 9);
        link.Model().InjectFault(request, occurrence, f);
    }

    // (no stop is ever requested: every run goes to its end)
    ProgrammingSession session(ScratchFolder().path(), std::unique_ptr<Link>(owned), std::make_unique<test::FakeWaitClock>());
    RecordingView view;
    const RunReport& report = session.Program(file, view);
    const RunOutcome outcome = report.outcome;

    const bool success = outcome == RunOutcome::Success;
    FUZZ_CHECK(!view.captions.isEmpty(), "the run shows a caption");
    FUZZ_CHECK(success == (view.captions.last() == QLatin1String("Done with succes")),
               "the last caption is \"Done with succes\" exactly at the success end");
    // (The failure box is the station's, after the record is kept; the session says why.)
    FUZZ_CHECK(report.why.isEmpty() == success, "a failure says why, a success has no why");
    for (const float p : view.progress)
        FUZZ_CHECK(p >= 0.0f && p <= 100.0f, "the progress bar stays within 0..100");
    if (!success) {
        FUZZ_CHECK(!view.progress.empty() && view.progress.back() == 0.0f, "the bar falls back to 0 on failure");
        if (outcome == RunOutcome::Timeout)
            FUZZ_CHECK(view.captions.last() == QLatin1String("COM timeout"), "a time-out ends with \"COM timeout\"");
    }
    if (kind == sim::DeviceKind::Silent || link.FailOpen)
        FUZZ_CHECK(outcome == RunOutcome::Timeout, "nothing on the line ends in a time-out");
    else if (faults == 0)
        FUZZ_CHECK(success, "a run without faults succeeds");
    for (const QByteArray& frame : link.Sent)
        CheckFrameRules(frame);
    FUZZ_CHECK(link.ReceiveBuffer().size() <= Link::ReceiveGuard, "the receive buffer never holds more than 80 bytes");
}

} // namespace vlboot::fuzz
