#include "CliView.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace vlboot::cli;

namespace {

struct ViewFixture {
    QByteArray out;
    QByteArray err;
    double now = 0;
    CliView view;

    explicit ViewFixture(CliView::Mode mode)
        : view(mode, {[this](const QByteArray& b) { out += b; }, [this](const QByteArray& b) { err += b; }},
               [this] { return now; })
    {
    }

    QList<QJsonObject> events() const
    {
        QList<QJsonObject> list;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            list.append(doc.object());
        }
        return list;
    }
};

CliView::Mode plain()
{
    return {};
}

CliView::Mode json()
{
    CliView::Mode m;
    m.json = true;
    return m;
}

RunResult failed(int status, const QString& why)
{
    RunResult r;
    r.status = status;
    r.why = why;
    r.exchanges = 3;
    r.medianRttMs = 1.25;
    r.wallSeconds = 0.5;
    return r;
}

} // namespace

TEST(CliView, CaptionsArePlainLinesOnStandardOutput)
{
    ViewFixture f(plain());
    f.view.SetCaption("Init");
    f.view.SetCaption("Fixtur found");
    f.view.SetProgress(40);
    f.view.ReportBytes(40, 100);
    EXPECT_EQ(f.out, "Init\nFixtur found\n");
    EXPECT_TRUE(f.err.isEmpty()); // not a terminal: no bar
}

TEST(CliView, FailureBoxIsFollowedByTheWhyLineWithThePortHint)
{
    ViewFixture f(plain());
    f.view.SetCaption("COM timeout");
    f.view.SetPortHint("/dev/ttyUSB0 could not be opened: no such device");
    f.view.ExplainFailure("no answer in time to the boot-mode entry");
    f.view.ShowFailureBox();
    EXPECT_EQ(f.err, "Error!\nFault during upload.\n"
                     "why: no answer in time to the boot-mode entry; /dev/ttyUSB0 could not be opened: no such device\n");
    EXPECT_EQ(f.out, "COM timeout\n");
}

TEST(CliView, EachDistinctLinkMessageIsShownOnce)
{
    ViewFixture f(json());
    for (int i = 0; i < 5; ++i)
        f.view.ShowMessage("Velm_Bootloader", "Comm Port not available!");
    f.view.ShowMessage("Velm_Bootloader", "Comm Port already open");
    EXPECT_EQ(f.err, "Velm_Bootloader: Comm Port not available!\nVelm_Bootloader: Comm Port already open\n");
    const auto events = f.events();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0]["event"].toString(), "message");
    EXPECT_EQ(events[0]["title"].toString(), "Velm_Bootloader");
    EXPECT_EQ(events[1]["text"].toString(), "Comm Port already open");
}

TEST(CliView, JsonProgressEventsOnlyWhenThePercentChanges)
{
    ViewFixture f(json());
    const double total = 1000;
    for (double sent = 1; sent <= total; sent += 1) {
        f.view.SetProgress(static_cast<float>(sent / total * 100.0));
        f.view.ReportBytes(sent, total);
    }
    const auto events = f.events();
    ASSERT_EQ(events.size(), 101); // 0 (the first byte) .. 100
    for (int i = 0; i <= 100; ++i) {
        EXPECT_EQ(events[i]["event"].toString(), "progress");
        EXPECT_EQ(events[i]["percent"].toInt(), i);
        EXPECT_EQ(events[i]["total"].toInt(), 1000);
    }
    EXPECT_EQ(events[50]["bytes"].toInt(), 500);
    EXPECT_EQ(events[100]["bytes"].toInt(), 1000);
}

TEST(CliView, JsonCaptionsAndTheResultOfAFailedRun)
{
    ViewFixture f(json());
    f.view.SetCaption("Fault");
    f.view.ExplainFailure("the device refused the program request of flash block 0 with status 0x15");
    f.view.ShowFailureBox();
    f.view.Finish(failed(1, f.view.Why()));
    const auto events = f.events();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0]["event"].toString(), "caption");
    EXPECT_EQ(events[0]["text"].toString(), "Fault");
    const QJsonObject& result = events[1];
    EXPECT_EQ(result["event"].toString(), "result");
    EXPECT_EQ(result["status"].toInt(), 1);
    EXPECT_EQ(result["outcome"].toString(), "fault");
    EXPECT_TRUE(result["why"].toString().contains("status 0x15"));
    EXPECT_EQ(result["exchanges"].toInt(), 3);
    EXPECT_DOUBLE_EQ(result["median_rtt_ms"].toDouble(), 1.25);
    // The human lines stay on standard error.
    EXPECT_TRUE(f.err.contains("Fault during upload."));
    EXPECT_TRUE(f.err.contains("vlboot-cli: 3 exchanges in 0.50 s, median round trip 1.25 ms per exchange"));
}

TEST(CliView, ResultOfASuccessHasNoWhyAndATimeoutIsStatusTwo)
{
    ViewFixture ok(json());
    RunResult success;
    ok.view.Finish(success);
    const QJsonObject r = ok.events().constLast();
    EXPECT_EQ(r["status"].toInt(), 0);
    EXPECT_EQ(r["outcome"].toString(), "success");
    EXPECT_TRUE(r["why"].isNull());
    EXPECT_TRUE(r["median_rtt_ms"].isNull()); // no exchange

    ViewFixture late(json());
    late.view.Finish(failed(2, "no answer in time to the boot-mode entry"));
    EXPECT_EQ(late.events().constLast()["outcome"].toString(), "timeout");
}

TEST(CliView, QuietDropsTheBarAndTheSummaryButNotTheFailure)
{
    CliView::Mode mode;
    mode.quiet = true;
    mode.progressBar = true;
    ViewFixture f(mode);
    f.view.SetProgress(50);
    f.view.ReportBytes(50, 100);
    f.view.ExplainFailure("x");
    f.view.ShowFailureBox();
    f.view.Finish(failed(1, "x"));
    EXPECT_EQ(f.err, "Error!\nFault during upload.\nwhy: x\n");
}

TEST(CliView, TheBarLineIsEndedBeforeAnyOtherOutput)
{
    CliView::Mode mode;
    mode.progressBar = true;
    ViewFixture f(mode);
    f.view.SetProgress(50);
    f.view.ReportBytes(50, 100);
    ASSERT_TRUE(f.err.startsWith('\r'));
    ASSERT_FALSE(f.err.endsWith('\n'));
    f.view.SetCaption("Done with succes");
    EXPECT_TRUE(f.err.endsWith('\n')); // ended before the caption went out
    f.view.Finish(RunResult{});
    EXPECT_EQ(f.err.count('\n'), 2); // the bar's line and the summary, no empty line
}
