#include "RunFixture.h"

using namespace vlboot;
using namespace vlboot::test;
using sim::BlockRecord;
using sim::EndRecord;
using sim::Fault;
using sim::FaultKind;
using sim::Request;

namespace {

QByteArray twoBlocks()
{
    return BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8) + EndRecord();
}
} // namespace

TEST_F(RunFixture, BadFilesEndWithFaultBeforeBootMode)
{
    QByteArray badChecksum = twoBlocks();
    badChecksum.replace(badChecksum.indexOf("\r\n", 20) - 1, 1, "0"); // spoil the second line's checksum
    const struct {
        QByteArray content;
        const char* why;
    } cases[] = {
        {badChecksum, "line 2: checksum"},
        {BlockRecord(0) + sim::HexRecord(0, 0, QByteArray(33, 'x')) + EndRecord(), "line 2: record of 33 bytes"},
        {BlockRecord(0) + DataRecord(0xFFF0, 17) + EndRecord(), "line 2: record runs past offset 0xFFFF"},
    };
    for (const auto& c : cases) {
        useDevice(sim::DeviceKind::Amplifier);
        view = RecordingView();
        EXPECT_FALSE(program(c.content));
        EXPECT_EQ(requests(), "detect");
        EXPECT_EQ(view.captions.last(), "Fault");
        EXPECT_TRUE(view.why.contains(c.why)) << view.why.toStdString();
        EXPECT_EQ(view.boxes, 1);
        EXPECT_EQ(run.Outcome(), RunOutcome::Fault);
    }
    // A record of exactly 32 bytes that ends at 0xFFFF is fine.
    useDevice(sim::DeviceKind::Amplifier);
    EXPECT_TRUE(program(BlockRecord(0) + DataRecord(0xFFE0, 32) + EndRecord()));
}

TEST_F(RunFixture, MissingFileAndEmptyNameFailAfterDetection)
{
    for (const QString& name : {dir.file("missing.ldr"), QString()}) {
        useDevice(sim::DeviceKind::Amplifier);
        view = RecordingView();
        EXPECT_FALSE(run.ProgramModule(name));
        EXPECT_EQ(requests(), "detect");
        EXPECT_EQ(view.captions, (QStringList{"Init", "KVX5500+ with Velmora found", "Checking file...", "Fault"}));
        EXPECT_EQ(view.boxes, 1);
    }
}

TEST_F(RunFixture, NothingConnectedTimesOutAtBootModeEntry)
{
    useDevice(sim::DeviceKind::Silent);
    const double start = clock.Now();
    EXPECT_FALSE(program(twoBlocks()));
    EXPECT_EQ(run.Outcome(), RunOutcome::Timeout);
    EXPECT_EQ(view.captions, (QStringList{"Init", "KVX5500+ with Velmora found", "Checking file...", "File found", "File ok", "COM timeout"}));
    EXPECT_EQ(view.progress.back(), 0);
    EXPECT_EQ(view.boxes, 1);
    EXPECT_GT(clock.Now() - start, 24.0); // two full waits: detection and boot-mode entry
    EXPECT_TRUE(view.why.contains("boot-mode entry"));
}

TEST_F(RunFixture, RefusedBlockProgramStopsTheRun)
{
    model().InjectFault(Request::Program, 1, Fault{FaultKind::ErrorStatus, 0x15});
    bool fileOpenAtBox = true;
    view.onBox = [&] { fileOpenAtBox = false; };
    EXPECT_FALSE(program(twoBlocks()));
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*1 crc program0");
    EXPECT_EQ(view.captions.last(), "Fault");
    EXPECT_EQ(view.progress.back(), 0);
    EXPECT_EQ(view.boxes, 1);
    EXPECT_TRUE(view.why.contains("status 0x15")) << view.why.toStdString();
    QFile again(dir.file("fw.ldr"));
    EXPECT_TRUE(again.remove()); // nothing holds the file any more
}

TEST_F(RunFixture, EachRefusalOrSilenceEndsTheRunWhereItHappens)
{
    const struct {
        Request request;
        FaultKind kind;
        const char* caption;
        std::string seen;
    } cases[] = {
        {Request::Erase, FaultKind::ErrorStatus, "Fault", "detect enter erase0"},
        {Request::Erase, FaultKind::Silence, "COM timeout", "detect enter erase0"},
        {Request::MemoryWrite, FaultKind::ErrorStatus, "Fault", "detect enter " + Erase + " write*1"},
        {Request::MemoryWrite, FaultKind::ShortReply, "Fault", "detect enter " + Erase + " write*1"},
        {Request::CrcRead, FaultKind::ErrorStatus, "Fault", "detect enter " + Erase + " write*1 crc"},
        {Request::CrcRead, FaultKind::Silence, "COM timeout", "detect enter " + Erase + " write*1 crc"},
        {Request::Program, FaultKind::Silence, "COM timeout", "detect enter " + Erase + " write*1 crc program0"},
        {Request::CrcWrite, FaultKind::Silence, "COM timeout", "detect enter " + Erase + " write*1 crc program0 write*1 crc program1 flashcrc"},
        {Request::BootExit, FaultKind::Silence, "COM timeout", "detect enter " + Erase + " write*1 crc program0 write*1 crc program1 flashcrc exit"},
        {Request::BootEnter, FaultKind::NoBootConfirm, "Fault", "detect enter"},
        {Request::BootEnter, FaultKind::BadBootConfirm, "Fault", "detect enter"},
    };
    for (const auto& c : cases) {
        useDevice(sim::DeviceKind::Amplifier);
        view = RecordingView();
        model().InjectFault(c.request, 1, Fault{c.kind});
        EXPECT_FALSE(program(twoBlocks())) << c.seen;
        EXPECT_EQ(requests(), c.seen);
        EXPECT_EQ(view.captions.last(), c.caption) << c.seen;
        EXPECT_EQ(view.boxes, 1) << c.seen;
    }
}

TEST_F(RunFixture, RefusedFlashCrcWriteLetsTheRunGoOn)
{
    model().InjectFault(Request::CrcWrite, 1, Fault{FaultKind::ErrorStatus, 0x09});
    EXPECT_TRUE(program(twoBlocks()));
    EXPECT_EQ(view.captions.last(), "Done with succes");
    EXPECT_EQ(model().Count(Request::BootExit), 1);
}

TEST_F(RunFixture, UnclearDetectionCountsAsTheAmplifier)
{
    model().InjectFault(Request::Detect, 1, Fault{FaultKind::ErrorStatus, 0x01});
    EXPECT_TRUE(program(twoBlocks()));
    EXPECT_EQ(view.captions[1], "KVX5500+ with Velmora found");
    EXPECT_EQ(model().Count(Request::Erase), 7);
}
