#include "RunFixture.h"
#include "StopRequest.h"

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

TEST_F(RunFixture, StopDuringTheSerialNumberStepTakesEffectOnceTheNumberIsInTheFixture)
{
    useDevice(sim::DeviceKind::Fixture);
    dir.write("setup.ini", "[Velmsettings]\r\nSerial=41\r\n");
    // A clock that asks to stop from inside the step's reply wait, the way
    // Exit or a stop signal would.
    struct Asking final : WaitClock {
        FakeWaitClock& inner;
        StopRequest& stop;
        Asking(FakeWaitClock& c, StopRequest& s) : inner(c), stop(s) {}
        double Now() override { return inner.Now(); }
        void WaitForEvents(double deadline) override
        {
            if (stop.Shielded())
                stop.Request();
            inner.WaitForEvents(deadline);
        }
    } asking(clock, stop);
    Bootloader fixture(link, settings, asking);
    fixture.SetStopRequest(&stop);
    ProgrammingRun fixtureRun(fixture, settings, view, stop);
    dir.write("fw.ldr", file());
    EXPECT_FALSE(fixtureRun.ProgramModule(dir.file("fw.ldr")));
    EXPECT_EQ(fixtureRun.Outcome(), RunOutcome::Stopped);
    EXPECT_EQ(model().Memory().mid(0x7FFB, 5), QByteArray::fromHex("0B00000029"));
    EXPECT_EQ(settings.Ini.ReadIni("Velmsettings", "Serial", ""), "42");
    EXPECT_EQ(requests(), "detect enter write*3"); // stopped before the boot-mode exit
    EXPECT_EQ(view.boxes, 0);                      // quietly
    EXPECT_TRUE(fixtureRun.StopReport().contains("holding serial number 41")) << fixtureRun.StopReport().toStdString();
}
