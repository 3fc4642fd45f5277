// Random firmware files of every shape a walk can meet (block changes,
// repeated and backward address records, early and missing end records,
// overlaps, block 42 and the serial-number place), each run into the device
// model and held to an oracle that shares none of vlboot's code: a run that
// ends "Done" without a warning leaves every programmed block (the
// fixture: its memory) as the standard image of the file has it, and the
// run warns of exactly what --check finds in the file.
#include "RunFixture.h"
#include "RunTexts.h"
#include "StandardHex.h"

#include <random>

using namespace vlboot;
using namespace vlboot::test;

namespace {

QByteArray randomFile(std::mt19937& rng)
{
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    static const std::uint8_t blocks[] = {0, 1, 2, 5, 6, 42};
    QByteArray file;
    const int records = 1 + pick(12);
    for (int i = 0; i < records; ++i) {
        switch (pick(10)) {
        case 0: case 1: file += sim::BlockRecord(blocks[pick(6)], pick(8) == 0 ? 1 : 0); break;
        case 2: file += sim::EndRecord(); break;
        case 3: file += sim::HexRecord(0x01, static_cast<std::uint16_t>(pick(4)), QByteArray(pick(3), 'e')); break;
        case 4: file += sim::HexRecord(pick(2) ? 0x02 : 0x05, 0, QByteArray::fromHex(pick(2) ? "1000" : "0000")); break;
        default: {
            static const int offsets[] = {0, 1, 0x10, 0x7FF0, 0x7FFC, 0xFFE0};
            const int offset = offsets[pick(6)] + pick(3);
            file += DataRecord(static_cast<std::uint16_t>(std::min(offset, 0xFFE0)), pick(33), static_cast<std::uint8_t>(pick(256)));
        }
        }
    }
    return file;
}

// Every byte the standard image gives is in the device: in the flash block
// its address names (amplifier), or folded into the fixture's memory, the
// serial number's five bytes aside.
bool deviceHoldsTheStandardImage(const sim::DeviceModel& model, const QByteArray& file)
{
    for (const auto& [address, value] : StandardImage(file)) {
        if (model.Kind() == sim::DeviceKind::Fixture) {
            const int at = static_cast<int>(address & 0xFFFF);
            if ((at < 0x7FFB || at > 0x7FFF) && static_cast<std::uint8_t>(model.Memory().at(at)) != value)
                return false;
            continue;
        }
        const auto block = model.Flash().find(static_cast<int>(address >> 16));
        if (block == model.Flash().end() || static_cast<std::uint8_t>(block->second.at(address & 0xFFFF)) != value)
            return false;
    }
    return true;
}

} // namespace

TEST_F(RunFixture, RandomFilesEndDoneWithAWarningWheneverTheDeviceDiffersFromTheStandardImage)
{
    std::mt19937 rng(20261206);
    int differing = 0;
    for (int i = 0; i < 200; ++i) {
        const QByteArray file = randomFile(rng);
        const bool fixture = i % 2 == 1;
        SCOPED_TRACE(file.toStdString() + (fixture ? "(fixture)" : "(amplifier)"));
        useDevice(fixture ? sim::DeviceKind::Fixture : sim::DeviceKind::Amplifier);
        dir.write("setup.ini", "[Velmsettings]\r\nSerial=100\r\n");
        ASSERT_EQ(program(file), RunOutcome::Success);
        const bool equal = deviceHoldsTheStandardImage(model(), file);
        differing += equal ? 0 : 1;
        if (!equal) {
            EXPECT_FALSE(view.warnings.isEmpty()) << "the device differs from the file without a warning";
        }
        const FirmwareCheckResult check = CheckFirmwareFile(dir.file("fw.ldr"));
        const QStringList found = FindingWarnings(check.walk, fixture ? DeviceTypes::Fixture : DeviceTypes::Amplifier, dir.file("fw.ldr"));
        EXPECT_EQ(view.warnings, found) << "the run and --check disagree";
    }
    EXPECT_GE(differing, 20); // the files reach the shapes that differ
}
