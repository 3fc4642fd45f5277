// vlboot-sim as a program: its pacing and summary, the end of standard
// input, its dump folder, and its units that come and go; vlboot-mkfw
// --verify on its dumps. (Its device on the pseudo-terminal, and its fault
// options, serve every end-to-end test.)
#include "CliFixture.h"
#include "Frames.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace vlboot::cli::test;
using namespace vlboot::sim::test;
using vlboot::sim::BlockRecord;
using vlboot::sim::EndRecord;
using vlboot::sim::HexRecord;
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

namespace {

// The host's end of the simulator's line, opened as a serial device is.
class HostEnd {
public:
    explicit HostEnd(const QString& path)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~HostEnd() { ::close(fd_); }
    // Sends `frame`; the reply that came within `waitMs` (empty: none).
    QByteArray Ask(const QByteArray& frame, int waitMs = 1000)
    {
        EXPECT_EQ(::write(fd_, frame.constData(), frame.size()), frame.size());
        QByteArray reply;
        pollfd p{fd_, POLLIN, 0};
        while ((reply.isEmpty() || reply.size() < reply.at(0)) && ::poll(&p, 1, waitMs) > 0) {
            char chunk[64];
            reply += QByteArray(chunk, std::max<ssize_t>(::read(fd_, chunk, sizeof chunk), 0));
        }
        return reply;
    }

private:
    int fd_;
};

// The units log's lines once it holds `count` of them (all it holds after 10 s).
QList<QJsonObject> UnitsLogged(const QString& path, int count)
{
    QList<QJsonObject> units;
    for (int tries = 0; tries < 1000 && units.size() < count; ++tries) {
        QThread::msleep(tries == 0 ? 0 : 10);
        units.clear();
        for (const QByteArray& line : ReadFileBytes(path).split('\n'))
            if (!line.isEmpty())
                units.push_back(QJsonDocument::fromJson(line).object());
    }
    return units;
}

} // namespace

TEST_F(SimProcess, AUnitTakenOffStopsAnsweringAndTheNextIsAFreshOneWithTheSameFaults)
{
    const QString log = folder.file("units.jsonl");
    Simulator sim({"--device", "fixture", "--fault", "detect:1:status=0x33", "--units-log", log, "--dump", dump()});
    const auto signal = [&sim](int number) { // never to process 0 (the whole group) when it has ended
        if (sim.Pid() > 0)
            sim.Signal(number);
        else
            ADD_FAILURE() << "vlboot-sim ended";
    };
    HostEnd host(sim.TerminalPath());
    EXPECT_EQ(host.Ask(Detect).mid(3, 1), Bytes({0x33})); // the unit's first detection
    EXPECT_EQ(host.Ask(Write(0, "Z")).size(), 5);
    signal(SIGUSR1);
    EXPECT_EQ(UnitsLogged(log, 1).size(), 1); // it left at once
    EXPECT_EQ(host.Ask(Detect, 300), QByteArray());
    signal(SIGUSR2);
    QByteArray reply;
    for (int tries = 0; tries < 50 && reply.isEmpty(); ++tries)
        reply = host.Ask(Detect, 100);
    EXPECT_EQ(reply.mid(3, 1), Bytes({0x33})); // its own first detection
    EXPECT_TRUE(sim.Terminate().errText().contains(", units 2\n"));

    const QList<QJsonObject> units = UnitsLogged(log, 2);
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units[0]["left_by"], "signal");
    EXPECT_EQ(units[0]["requests"], 2);
    EXPECT_EQ(units[1]["unit"], 2);
    EXPECT_EQ(units[1]["left_by"], "stop");
    EXPECT_EQ(units[1]["detections"], 1);
    EXPECT_EQ(ReadFileBytes(dump() + "/unit-1/memory.bin").left(1), "Z");
    EXPECT_EQ(ReadFileBytes(dump() + "/unit-2/memory.bin"), QByteArray(0x10000, char(0xFF))); // blank
}

TEST_F(SimProcess, UnitsComeAndGoOnTheScheduleUntilTheLastHasLeft)
{
    const QString log = folder.file("units.jsonl");
    Simulator sim({"--start-absent", "--absent", "0.1", "--present", "0.2", "--units", "2", "--units-log", log});
    const CliResult r = sim.Finish(); // by itself
    EXPECT_EQ(r.exitCode, 0);
    const QList<QJsonObject> units = UnitsLogged(log, 2);
    ASSERT_EQ(units.size(), 2);
    const auto at = [&](int unit, const char* key) { return units[unit][key].toDouble(); };
    const double rounding = 0.002; // the log's times are rounded to the millisecond
    EXPECT_GE(at(0, "arrived"), 0.1 - rounding);
    EXPECT_GE(at(1, "arrived") - at(0, "left"), 0.1 - rounding);
    for (int unit : {0, 1}) {
        EXPECT_GE(at(unit, "left") - at(unit, "arrived"), 0.2 - rounding);
        EXPECT_LT(at(unit, "left") - at(unit, "arrived"), 5.0);
        EXPECT_EQ(units[unit]["left_by"], "present");
    }
}

TEST_F(SimProcess, AProgrammedFixtureLeavesAfterItsExitAndItsMemoryIsVerifiedWithItsSerialNumber)
{
    // The run writes its serial number over the file's own bytes at 0x7FF8..0x7FFF.
    folder.write("fw.ldr", image.hex.left(image.hex.lastIndexOf(':')) + HexRecord(0, 0x7FF8, "12345678") + EndRecord());
    folder.write("setup.ini", "[Velmsettings]\r\nSerial=1000\r\n");
    const QString log = folder.file("units.jsonl");
    Simulator sim({"--device", "fixture", "--leave-after-exit", "0.1", "--units", "1", "--units-log", log, "--dump", dump()});
    EXPECT_EQ(RunCli(args(sim.TerminalPath(), {"--quiet"})).exitCode, 0);
    EXPECT_EQ(sim.Finish().exitCode, 0); // by itself, once the unit left
    const QList<QJsonObject> units = UnitsLogged(log, 1);
    ASSERT_EQ(units.size(), 1);
    EXPECT_EQ(units[0]["left_by"], "after-exit");
    EXPECT_EQ(units[0]["complete_runs"], 1);
    EXPECT_EQ(units[0]["serial_number"], 1000);

    const CliResult same = Program("vlboot-mkfw", {"--verify", dump() + "/unit-1", folder.file("fw.ldr")}).Finish();
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_TRUE(same.out.contains("memory: equals the file (323 bytes)\n")) << same.out.toStdString();
    EXPECT_TRUE(same.out.contains("serial number: 1000\n"));
    const CliResult strict = Program("vlboot-mkfw", {"--verify", dump() + "/unit-1", folder.file("fw.ldr"), "--strict-serial"}).Finish();
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_TRUE(strict.out.contains("DIFFERS from the file: 5 of 328 bytes, the first at 0x7FFB (memory 0x0B, file 0x34)"))
        << strict.out.toStdString();
}

TEST_F(SimProcess, VerifyHoldsTheFlashAgainstTheStandardImageOfTheFile)
{
    // Block 0 goes back after block 1: programmed twice, the second time with only its last record.
    folder.write("fw.ldr", BlockRecord(0) + HexRecord(0, 0, QByteArray(32, 'A')) + HexRecord(0, 32, QByteArray(32, 'B'))
                               + BlockRecord(1) + HexRecord(0, 0, "C") + BlockRecord(0)
                               + HexRecord(0, 64, "D") + EndRecord());
    EXPECT_EQ(runAgainst({}).exitCode, 0);
    const CliResult twice = Program("vlboot-mkfw", {"--verify", dump(), folder.file("fw.ldr")}).Finish();
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_EQ(twice.out, "block   0: flash DIFFERS from the file: 64 of 65 bytes, the first at 0x00000000 (flash 0xFF, file 0x41)\n"
                         "block   1: flash equals the file (1 bytes)\n"
                         "the flash DIFFERS from the file: 1 of 2 blocks (0 never programmed), 64 of 66 bytes\n");

    folder.write("fw.ldr", image.hex);
    EXPECT_EQ(runAgainst({}).exitCode, 0);
    const CliResult equal = Program("vlboot-mkfw", {"--verify", dump(), folder.file("fw.ldr")}).Finish();
    EXPECT_EQ(equal.exitCode, 0);
    EXPECT_TRUE(equal.out.endsWith("the flash equals the file: 2 blocks, 640 bytes\n")) << equal.out.toStdString();

    folder.write("bad.ldr", HexRecord(0, 0, "a") + ":0100000041BF\n");
    const CliResult bad = Program("vlboot-mkfw", {"--verify", dump(), folder.file("bad.ldr")}).Finish();
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.errText().contains("bad.ldr: line 2: bad checksum"));
}
