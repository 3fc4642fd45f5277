#include "RunFixture.h"
#include "SafeEnd.h"

#include <utility>

using namespace vlboot;
using namespace vlboot::test;
using sim::BlockRecord;
using sim::EndRecord;
using sim::Request;

namespace {
QByteArray file()
{
    return BlockRecord(0) + DataRecord(0x100, 8) + BlockRecord(1) + DataRecord(0x200, 8) + EndRecord();
}
} // namespace

TEST_F(RunFixture, FixtureGetsItsSerialNumberAndTheCounterMovesOn)
{
    useDevice(sim::DeviceKind::Fixture);
    dir.write("setup.ini", "[Velmsettings]\r\nSerial=1000\r\n");
    EXPECT_TRUE(program(file()));
    EXPECT_EQ(requests(), "detect enter write*3 exit"); // no erase, no CRC, no block program
    EXPECT_EQ(view.captions[1], "Fixtur found");
    EXPECT_EQ(model().Memory().mid(0x7FFB, 5), QByteArray::fromHex("0B000003E8"));
    EXPECT_EQ(model().Memory().mid(0x100, 2), QByteArray::fromHex("0001"));
    EXPECT_EQ(settings.Ini.ReadIni("Velmsettings", "Serial", ""), "1001");
    EXPECT_TRUE(program(file()));
    EXPECT_EQ(model().Memory().mid(0x7FFB, 5), QByteArray::fromHex("0B000003E9"));
    EXPECT_EQ(settings.Ini.ReadIni("Velmsettings", "Serial", ""), "1002");
    EXPECT_FALSE(dir.exists("setup.ini.lock"));
}

TEST_F(RunFixture, FixtureWithoutANumberGets65535AndTheSettingStays)
{
    useDevice(sim::DeviceKind::Fixture);
    for (const char* stored : {"", "?", "12abc"}) {
        dir.write("setup.ini", QByteArray("[Velmsettings]\r\nSerial=") + stored + "\r\n");
        EXPECT_TRUE(program(file())) << stored;
        EXPECT_EQ(model().Memory().mid(0x7FFB, 5), QByteArray::fromHex("0B0000FFFF")) << stored;
        const QString expected = *stored ? QString(stored) : QString("?");
        EXPECT_EQ(settings.Ini.ReadIni("Velmsettings", "Serial", ""), expected);
    }
}

TEST_F(RunFixture, SerialNumberIsRoundedHalfToEvenAndWrittenMostSignificantFirst)
{
    useDevice(sim::DeviceKind::Fixture);
    dir.write("setup.ini", "[Velmsettings]\r\nSerial=16909060.5\r\n");
    EXPECT_TRUE(program(file()));
    EXPECT_EQ(model().Memory().mid(0x7FFB, 5), QByteArray::fromHex("0B01020304"));
    EXPECT_EQ(settings.Ini.ReadIni("Velmsettings", "Serial", ""), "16909061.5");
}

TEST_F(RunFixture, FixtureRunGoesOnWhenTheSerialWriteIsRefused)
{
    useDevice(sim::DeviceKind::Fixture);
    dir.write("setup.ini", "[Velmsettings]\r\nSerial=7\r\n");
    model().InjectFault(Request::MemoryWrite, 3, sim::Fault{sim::FaultKind::ErrorStatus, 0x20});
    EXPECT_TRUE(program(file()));
    EXPECT_EQ(settings.Ini.ReadIni("Velmsettings", "Serial", ""), "8");
}

TEST_F(RunFixture, EndAskedForDuringTheSerialNumberStepComesAfterTheCounterMovedOn)
{
    useDevice(sim::DeviceKind::Fixture);
    dir.write("setup.ini", "[Velmsettings]\r\nSerial=41\r\n");
    // A clock that asks to end the program from inside the step's reply wait,
    // the way Exit or a stop signal would.
    struct Asking final : WaitClock {
        FakeWaitClock& inner;
        std::function<void()> ask;
        Asking(FakeWaitClock& c, std::function<void()> a) : inner(c), ask(std::move(a)) {}
        double Now() override { return inner.Now(); }
        void WaitForEvents(double deadline) override
        {
            if (SerialNumberStep::Running() && ask)
                std::exchange(ask, {})();
            inner.WaitForEvents(deadline);
        }
    };
    QString counterAtEnd;
    Asking asking(clock, [&] { EndWhenSafe([&] { counterAtEnd = settings.Ini.ReadIni("Velmsettings", "Serial", ""); }); });
    Bootloader fixture(link, settings, asking);
    ProgrammingRun fixtureRun(fixture, settings, view);
    dir.write("fw.ldr", file());
    EXPECT_TRUE(fixtureRun.ProgramModule(dir.file("fw.ldr")));
    EXPECT_EQ(counterAtEnd, "42");
}
