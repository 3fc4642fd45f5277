// Files of every shape the walk of a file knows, run into the device model:
// a run sends exactly what --check estimates, and a run that ends "Done"
// without a warning leaves every block it programmed as the standard image
// of the file has it.
#include "RunFixture.h"
#include "RunTraffic.h"
#include "StandardHex.h"

#include <numeric>

using namespace vlboot;
using namespace vlboot::test;
using sim::BlockRecord;
using sim::EndRecord;

namespace {

struct Shape {
    const char* name;
    QByteArray content;
};

QByteArray endWithData(int n)
{
    return sim::HexRecord(0x01, 0, QByteArray(n, 'E'));
}

const std::vector<Shape>& shapes()
{
    static const std::vector<Shape> all{
        {"two blocks", BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8) + EndRecord()},
        {"an end record with data while a block change is pending", BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + endWithData(4)},
        {"an end record with data", BlockRecord(0) + DataRecord(0, 8) + endWithData(4)},
        {"data after the end record", BlockRecord(0) + DataRecord(0, 8) + EndRecord() + DataRecord(0x20, 8)},
        {"the same address record again", BlockRecord(0) + DataRecord(0, 8) + BlockRecord(0) + DataRecord(0x10, 8) + EndRecord()},
        {"blocks 0, 1, 0", BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8) + BlockRecord(0) + DataRecord(0x10, 8) + EndRecord()},
        {"two address records in a row", BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + BlockRecord(2) + DataRecord(0, 8) + EndRecord()},
        {"data before the first address record", DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8, 9) + EndRecord()},
        {"no address record", DataRecord(0, 8) + EndRecord()},
        {"no end record", BlockRecord(0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 8)},
        {"nothing", QByteArray()},
        {"an upper address", BlockRecord(2, 1) + DataRecord(0, 8) + EndRecord()},
        {"a segment address", sim::HexRecord(0x02, 0, QByteArray::fromHex("1000")) + DataRecord(0, 8) + EndRecord()},
        {"overlapping records", BlockRecord(3) + DataRecord(0, 16) + DataRecord(8, 16, 0x80) + EndRecord()},
        {"block 42's first bytes", BlockRecord(42) + DataRecord(0, 4) + EndRecord()},
        {"the serial-number area", BlockRecord(0) + DataRecord(0x7FF0, 16) + EndRecord()},
        {"records without data", BlockRecord(0) + DataRecord(0, 0) + DataRecord(0, 8) + BlockRecord(1) + DataRecord(0, 0) + EndRecord()},
    };
    return all;
}

// Whether every byte the standard image gives a block is in its flash.
bool flashIsTheStandardImage(const sim::DeviceModel& model, const QByteArray& file)
{
    for (const auto& [address, value] : StandardImage(file)) {
        const auto block = model.Flash().find(static_cast<int>(address >> 16));
        if (block == model.Flash().end() || static_cast<std::uint8_t>(block->second.at(address & 0xFFFF)) != value)
            return false;
    }
    return true;
}

} // namespace

TEST_F(RunFixture, EveryShapeOfFileIsDoneAndSendsWhatTheCheckEstimates)
{
    for (const Shape& shape : shapes()) {
        for (const auto kind : {sim::DeviceKind::Amplifier, sim::DeviceKind::Fixture}) {
            SCOPED_TRACE(std::string(shape.name) + (kind == sim::DeviceKind::Fixture ? " (fixture)" : " (amplifier)"));
            useDevice(kind);
            link->Sent.clear();
            link->Received = 0;
            EXPECT_EQ(program(shape.content), RunOutcome::Success);
            const RunTraffic estimate = EstimateTraffic(
                session.Last().check.walk, kind == sim::DeviceKind::Fixture ? DeviceTypes::Fixture : DeviceTypes::Amplifier);
            EXPECT_EQ(static_cast<long long>(model().Requests().size()), estimate.exchanges);
            const qsizetype sent = std::accumulate(link->Sent.begin(), link->Sent.end(), qsizetype(0),
                                                   [](qsizetype n, const QByteArray& frame) { return n + frame.size(); });
            EXPECT_EQ(static_cast<double>(sent + link->Received), estimate.wireBytes);
        }
    }
}

TEST_F(RunFixture, DoneWithoutAWarningLeavesEveryProgrammedBlockAsTheStandardImage)
{
    int differing = 0;
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        useDevice(sim::DeviceKind::Amplifier);
        ASSERT_EQ(program(shape.content), RunOutcome::Success);
        const bool equal = flashIsTheStandardImage(model(), shape.content);
        differing += equal ? 0 : 1;
        if (!equal) {
            EXPECT_FALSE(view.warnings.isEmpty()) << "the flash differs from the file without a warning";
        }
    }
    EXPECT_GE(differing, 8); // the oracle tells the shapes that differ apart
}

TEST_F(RunFixture, EachWarningNamesTheLinesAndAddressesItIsAbout)
{
    const struct {
        const char* shape;
        sim::DeviceKind kind;
        const char* warning;
    } cases[] = {
        {"block 42's first bytes", sim::DeviceKind::Amplifier,
         "line 2 writes offsets 0x0000 to 0x0001 of block 42, where the module stores its flash CRC: the flash CRC write "
         "overwrites them"},
        {"the serial-number area", sim::DeviceKind::Fixture,
         "line 2 writes 0x7FF0 to 0x7FFF, where the fixture's serial number goes (0x7FFB to 0x7FFF): the serial-number "
         "write overwrites them"},
        {"blocks 0, 1, 0", sim::DeviceKind::Amplifier,
         "block 0 is programmed a second time at line 7: the data of line 2 programmed into it before are lost from its flash"},
        {"two address records in a row", sim::DeviceKind::Amplifier,
         "the data of line 5 belong at 0x00020000 by the file's address records, but the run programs them into block 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const auto shape = std::find_if(shapes().begin(), shapes().end(), [&](const Shape& s) { return QByteArray(s.name) == c.shape; });
        useDevice(c.kind);
        EXPECT_EQ(program(shape->content), RunOutcome::Success);
        EXPECT_TRUE(view.warnings.contains(QString::fromUtf8(c.warning))) << view.warnings.join('\n').toStdString();
    }
}
