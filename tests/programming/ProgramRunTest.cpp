// Programming runs of a session against the device model: what is sent in
// which order, what the module ends up holding, what the run shows, and how
// each failure and stop ends it.
#include "../production/CsvReader.h"
#include "RunFixture.h"

#include "IniFileHandler.h"
#include "SerialNumber.h"

#include <algorithm>

using namespace vlboot;
using namespace vlboot::test;
using sim::BlockRecord;
using sim::EndRecord;
using sim::Fault;
using sim::FaultKind;
using sim::Request;

namespace {

const QStringList Start{"Init", "KVX5500+ with Velmora found", "Checking file...", "File found", "File ok"};

QByteArray twoBlocks()
{
    return BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8) + EndRecord();
}

QString serialSetting(const TestFolder& dir)
{
    return IniFileHandler(dir.file("setup.ini")).ReadIni("Velmsettings", "Serial", "");
}

} // namespace

TEST_F(RunFixture, AmplifierBlocksAreProgrammedAtEachBlockChangeAndAtTheEnd)
{
    const sim::Image image = sim::MakeImage({.firstBlock = 0, .blockCount = 2, .bytesPerBlock = 256});
    const double start = clock->Now();
    EXPECT_EQ(program(image.hex), RunOutcome::Success);
    EXPECT_EQ(requests(), "detect enter " + Erase + " write*8 crc program0 write*8 crc program1 flashcrc exit");
    EXPECT_EQ(view.captions, (Start + QStringList{"Programming Velmora module", "Done with succes"}));
    EXPECT_EQ(model().Flash().at(0), image.blocks.at(0));
    EXPECT_EQ(model().Flash().at(1), image.blocks.at(1));
    EXPECT_LT(clock->Now() - start, 1.0); // no wait ran out, the boot-mode frame's included
    ASSERT_EQ(view.progress.size(), 17u); // the reset to 0, then one per record
    EXPECT_EQ(view.progress[8], 50);       // 256 of 512 bytes
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_EQ(session.Last().roundTrips.size(), model().Requests().size());
}

TEST_F(RunFixture, BlockChangesAsTheAddressRecordsSayThem)
{
    const struct {
        QByteArray content;
        std::string blocks; // what follows the erases
        const char* warning; // "" for none
    } cases[] = {
        // an address record before any data starts its block without a block end
        {BlockRecord(7) + DataRecord(0x10, 4) + EndRecord(), "write*1 crc program7 flashcrc exit",
         "block 7 was programmed without being erased first (the amplifier run erases blocks 0 to 5 and 42 only)"},
        // the first address record sets the block however high its upper
        // address; a standard reader puts its data elsewhere
        {BlockRecord(0, 0xFF) + DataRecord(0, 2) + BlockRecord(1) + DataRecord(0, 2) + EndRecord(),
         "write*1 crc program0 write*1 crc program1 flashcrc exit", "line 2 belong at 0xFF000000 by the file's address records, but the run programs them into block 0"},
        // a second address record in a row is ignored: its data go into the block before
        {BlockRecord(1) + DataRecord(0, 2) + BlockRecord(2) + BlockRecord(3) + DataRecord(0, 2, 9) + EndRecord(),
         "write*1 crc program1 write*1 crc program2 flashcrc exit", "line 5 belong at 0x00030000 by the file's address records, but the run programs them into block 2"},
        // data before the first address record belong to the block it names,
        // which is programmed again with the data after it
        {DataRecord(0, 2) + BlockRecord(1) + DataRecord(0x10, 2, 9) + EndRecord(), "write*1 crc program1 write*1 crc program1 flashcrc exit",
         "block 1 is programmed a second time at line 4: the data of line 1 programmed into it before are lost"},
        // no end record: the last block is not programmed, the run succeeds
        {BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8), "write*1 crc program0 write*1 flashcrc exit", "never programmed"},
        // no address record: block 255
        {DataRecord(0, 8) + EndRecord(), "write*1 crc program255 flashcrc exit", "block 255 was programmed without"},
        // nothing to write
        {QByteArray(), "flashcrc exit", "no data records"},
        {":0000\r\n\r\nabc\r\n:1\n", "flashcrc exit", "no data records"},
        // lower-case digits, LF line ends, an unknown record type, a 6-character line that adds up
        {BlockRecord(0).toLower().replace("\r\n", "\n") + DataRecord(0, 16, 0xA0).toLower()
             + sim::HexRecord(0x05, 0, QByteArray::fromHex("00001234")) + ":00000\r\n" + EndRecord(),
         "write*1 crc program0 flashcrc exit", ""},
    };
    for (const auto& c : cases) {
        useDevice(sim::DeviceKind::Amplifier);
        EXPECT_EQ(program(c.content), RunOutcome::Success) << c.blocks;
        EXPECT_EQ(requests(), "detect enter " + Erase + " " + c.blocks);
        EXPECT_EQ(view.captions.last(), "Done with succes");
        EXPECT_EQ(session.Last().roundTrips.size(), model().Requests().size()); // this run's exchanges alone
        EXPECT_EQ(view.warnings.join("\n").contains(c.warning), true) << c.blocks << " / " << view.warnings.join("\n").toStdString();
        EXPECT_EQ(view.warnings.isEmpty(), !*c.warning) << c.blocks;
    }
    EXPECT_EQ(model().Flash().at(0).left(2), QByteArray::fromHex("A0A1"));
}

TEST_F(RunFixture, AtMostEightWarningsOfAKindAreNamedThenHowManyMore)
{
    QByteArray file;
    for (int block = 6; block < 16; ++block)
        file += BlockRecord(block) + DataRecord(0, 2);
    EXPECT_EQ(program(file + EndRecord()), RunOutcome::Success);
    EXPECT_EQ(view.warnings.filter("programmed without being erased").size(), 8);
    EXPECT_EQ(view.warnings.filter("... and ").join(""), "... and 2 more like the last one");
    EXPECT_TRUE(view.warnings.filter("without being erased").last().startsWith("block 13 ")); // the last one named
}

TEST_F(RunFixture, AMissingFileFailsBeforeBootMode)
{
    EXPECT_EQ(programFile(dir.file("missing.ldr")), RunOutcome::Fault);
    EXPECT_EQ(view.captions, (Start.mid(0, 3) + QStringList{"Fault"}));
    EXPECT_EQ(requests(), "detect");
    EXPECT_EQ(view.boxes, 1);
}

TEST_F(RunFixture, EachRefusalOrSilenceEndsTheRunWhereItHappens)
{
    const std::string all = "detect enter " + Erase + " write*1 crc program0 write*1 crc program1 flashcrc exit";
    const std::string written = "detect enter " + Erase + " write*1";
    const struct {
        Request request;
        FaultKind kind;
        RunOutcome outcome;
        std::string seen;    // the requests up to the one that ended the run
        const char* warning = "";
    } cases[] = {
        {Request::BootEnter, FaultKind::Silence, RunOutcome::Timeout, "detect enter"},
        {Request::BootEnter, FaultKind::NoBootConfirm, RunOutcome::Fault, "detect enter"},
        {Request::BootEnter, FaultKind::BadBootConfirm, RunOutcome::Fault, "detect enter"},
        {Request::Erase, FaultKind::ErrorStatus, RunOutcome::Fault, "detect enter erase0"},
        {Request::Erase, FaultKind::ShortReply, RunOutcome::Fault, "detect enter erase0"},
        {Request::MemoryWrite, FaultKind::ErrorStatus, RunOutcome::Fault, written},
        {Request::MemoryWrite, FaultKind::ShortReply, RunOutcome::Fault, written},
        {Request::CrcRead, FaultKind::ErrorStatus, RunOutcome::Fault, written + " crc"},
        {Request::CrcRead, FaultKind::ShortReply, RunOutcome::Fault, written + " crc"},
        {Request::Program, FaultKind::ErrorStatus, RunOutcome::Fault, written + " crc program0"},
        {Request::Program, FaultKind::ShortReply, RunOutcome::Fault, written + " crc program0"},
        {Request::Program, FaultKind::Silence, RunOutcome::Timeout, written + " crc program0"},
        {Request::CrcWrite, FaultKind::Silence, RunOutcome::Timeout, all.substr(0, all.size() - 5)},
        {Request::BootExit, FaultKind::Silence, RunOutcome::Timeout, all},
        // a refused flash CRC write, a refused boot-mode exit and an unclear
        // detection let the run go on, the first two with a warning
        {Request::CrcWrite, FaultKind::ErrorStatus, RunOutcome::Success, all, "refused the flash CRC write (status 0x14)"},
        {Request::BootExit, FaultKind::ErrorStatus, RunOutcome::Success, all, "boot-mode exit with status 0x14"},
        {Request::Detect, FaultKind::ErrorStatus, RunOutcome::Success, all},
    };
    for (const auto& c : cases) {
        useDevice(sim::DeviceKind::Amplifier);
        model().InjectFault(c.request, 1, Fault{c.kind});
        EXPECT_EQ(program(twoBlocks()), c.outcome) << c.seen;
        EXPECT_EQ(requests(), c.seen);
        const bool failed = c.outcome != RunOutcome::Success;
        EXPECT_EQ(view.captions.last(), !failed ? "Done with succes" : c.outcome == RunOutcome::Timeout ? "COM timeout" : "Fault");
        EXPECT_EQ(view.boxes, failed ? 1 : 0) << c.seen;
        EXPECT_EQ(view.warnings.join("").contains(c.warning) && view.warnings.isEmpty() == !*c.warning, true) << c.seen;
    }
}

TEST_F(RunFixture, AFixtureGetsTheNextSerialNumberStoredBeforeItIsWritten)
{
    const struct {
        QByteArray stored;
        const char* record;  // at 0x7FFB in the fixture; "" for a run that ends before boot mode
        QString after;       // the setting after the run
        const char* warning; // "" for none
        bool ownEach;        // each unit of a production line would get a number of its own
    } cases[] = {
        {"1000", "0B000003E8", "1001", "", true},
        {"2147483646", "0B7FFFFFFE", "2147483647", "", true},
        {"16909060.5", "0B01020304", "16909061.5", "16909060.5 is not a whole number: the fixture gets 16909060", false}, // half to even, most significant first
        {"1.5", "0B00000002", "2.5", "the counter goes on to 2.5, so fixtures can get the same number", false},
        {"-5", "0BFFFFFFFB", "-4", "-5 is negative: the fixture holds it as the four bytes FFFFFFFB", false},
        {"?", "0B0000FFFF", "?", "\"?\" is not a number: the fixture gets the stand-in serial number 65535", false},
        {"12abc", "0B0000FFFF", "12abc", "\"12abc\" is not a number", false},
        {"2501150001", "0B0000FFFF", "2501150001", "2501150001 is beyond the 32-bit numbers a fixture holds", false},
        {"-2501150001", "0B0000FFFF", "-2501150001", "-2501150001 is beyond the 32-bit numbers a fixture holds", false},
        // the top: no number after it could be stored, so none is given out
        {"2147483647", "", "2147483647", "has reached the highest serial number a fixture holds", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.constData());
        for (const bool oneEach : {false, true}) {
            useDevice(sim::DeviceKind::Fixture);
            session.SetSerialNumberSource(std::make_unique<SettingsSerialNumbers>(session.settings().Ini, oneEach));
            dir.write("setup.ini", "[Velmsettings]\r\nSerial=" + c.stored + "\r\n");
            const bool refused = !*c.record || (oneEach && !c.ownEach);
            EXPECT_EQ(program(twoBlocks()), refused ? RunOutcome::Fault : RunOutcome::Success);
            if (refused) { // before boot mode, the setting untouched
                EXPECT_EQ(requests(), "detect");
                EXPECT_EQ(serialSetting(dir), c.stored);
                EXPECT_TRUE(view.why.contains(c.warning)) << view.why.toStdString();
                continue;
            }
            EXPECT_EQ(requests(), "detect enter write*3 exit"); // no erase, no CRC, no block program
            EXPECT_EQ(model().Memory().mid(0x7FFB, 5).toHex().toUpper(), c.record);
            EXPECT_EQ(serialSetting(dir), c.after);
            EXPECT_EQ(view.warnings.join("\n").contains(c.warning), true) << view.warnings.join("\n").toStdString();
            EXPECT_EQ(view.warnings.isEmpty(), !*c.warning);
            const auto record = CsvRecords(dir.read("runs.csv")).constLast(); // what the run knew, in the unit's record
            EXPECT_EQ(QStringList({record["outcome"], record["serial_write"]}), QStringList({"done", "confirmed"}));
            EXPECT_EQ(record["warnings"].contains(c.warning), true);
        }
    }
    EXPECT_FALSE(dir.exists("setup.ini.lock"));

    // A refused serial-number write lets the run go on; the counter has moved.
    useDevice(sim::DeviceKind::Fixture);
    dir.write("setup.ini", "[Velmsettings]\r\nSerial=7\r\n");
    model().InjectFault(Request::MemoryWrite, 3, Fault{FaultKind::ErrorStatus, 0x20});
    EXPECT_EQ(program(twoBlocks()), RunOutcome::Success);
    EXPECT_EQ(serialSetting(dir), "8");
    EXPECT_TRUE(view.warnings.join("").contains("refused the serial-number write (status 0x20)"));
}

TEST_F(RunFixture, AStopEndsTheRunQuietlyButNotInTheMiddleOfTheSerialNumberStep)
{
    const struct {
        sim::DeviceKind kind;
        std::function<bool(const sim::DeviceModel&, const StopRequest&)> when;
        const char* report;
    } cases[] = {
        // during the serial-number step: the step runs to its end, the run stops right after it
        {sim::DeviceKind::Fixture, [](auto&, auto& stop) { return stop.Shielded(); }, "it confirmed serial number 41: run it again"},
        {sim::DeviceKind::Amplifier, [](auto& m, auto&) { return m.Count(Request::MemoryWrite) > 0; },
         "while writing the firmware into the module's memory; the module is left in boot mode with its flash erased: run it again"},
        {sim::DeviceKind::Amplifier, [](auto&, auto&) { return true; }, "while detecting the device; nothing was changed"},
    };
    dir.write("fw.ldr", twoBlocks());
    for (const auto& c : cases) {
        dir.write("setup.ini", "[Velmsettings]\r\nSerial=41\r\n");
        auto* link = new sim::ModelLink(c.kind);
        auto* asking = new FakeWaitClock; // asks to stop the moment a wait runs while `when` holds
        Station stopped(StationSetup(dir.path(), "test"), std::unique_ptr<Link>(link), std::unique_ptr<WaitClock>(asking));
        asking->BeforeWait = [&] {
            if (c.when(link->Model(), stopped.Session().Stop()))
                stopped.RequestStop("Exit");
            return false;
        };
        view = RecordingView();
        stopped.Program(dir.file("fw.ldr"), view);
        const RunReport& report = stopped.Session().Last();
        EXPECT_EQ(report.outcome, RunOutcome::Stopped) << c.report;
        EXPECT_TRUE(report.StopReport().contains(c.report)) << report.StopReport().toStdString();
        EXPECT_EQ(link->Model().Count(Request::BootExit) + link->Model().Count(Request::Program), 0);
        EXPECT_EQ(view.boxes, 0); // quietly
        if (c.kind == sim::DeviceKind::Fixture) {
            EXPECT_EQ(link->Model().Memory().mid(0x7FFB, 5), QByteArray::fromHex("0B00000029"));
            EXPECT_EQ(serialSetting(dir), "42");
        }
    }
    // A stop made before a run stops it before anything is sent.
    session.RequestStop();
    EXPECT_EQ(program(twoBlocks()), RunOutcome::Stopped);
    EXPECT_TRUE(model().Requests().empty());
}
