// vlboot-sim as a program: its pacing and summary, the end of standard
// input, and its dump folder. (Its device on the pseudo-terminal, and its
// fault options, serve every end-to-end test.)
#include "CliFixture.h"

#include <QRegularExpression>

using namespace vlboot::cli::test;
using SimProcess = CliFixture;

TEST_F(SimProcess, PacesItsRepliesStopsAtTheEndOfInputAndChecksItsDumpFolder)
{
    useImage({.bytesPerBlock = 4}); // a fixture run: detection, boot mode, two memory writes, boot-mode exit
    folder.write("setup.ini", "[Velmsettings]\r\nSerial=2501150001\r\n"); // beyond 32 bits: the stand-in, the setting alone
    Simulator sim({"--device", "fixture", "--baud", "9600", "--dump", dump()});
    EXPECT_EQ(RunCli(args(sim.TerminalPath(), {"--quiet"})).exitCode, 0);
    sim.CloseInput(); // the program that started it went away
    const CliResult r = sim.Finish();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.errText().contains(QRegularExpression("requests 5, bytes in 52, bytes out 28, wire time 0\\.\\d+ s at 9600 baud")))
        << r.errText().toStdString();
    EXPECT_EQ(DumpedSerialNumber(dump()), 65535);
    EXPECT_TRUE(folder.read("setup.ini").contains("Serial=2501150001\r\n"));

    const CliResult refused = Program("vlboot-sim", {"--dump", folder.file("fw.ldr/dump")}).Finish();
    EXPECT_EQ(refused.exitCode, 1); // a dump folder that cannot be written is refused at the start
    EXPECT_TRUE(refused.errText().contains("cannot create the dump folder"));
    EXPECT_EQ(Program("vlboot-sim", {"--fault", "write:1:status=1x5"}).Finish().exitCode, 64); // neither decimal nor 0x..
}
