// The production database against a real PostgreSQL server: serial numbers
// never given twice (processes side by side, a run killed after taking one,
// a server that goes away or stops answering), the records equal to what
// the fixtures hold and each sent once to its own database, and no password
// in any message.
#include "CliFixture.h"
#include "DatabaseSerialNumbers.h"
#include "PostgresServer.h"
#include "DatabaseRecords.h"
#include "FilledRecord.h"
#include "ProductionDatabase.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <memory>
#include <set>
#include <sys/wait.h>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

struct Database : CliFixture {
    test::PostgresServer server;

    Database() { useImage({.blockCount = 1, .bytesPerBlock = 768}); } // 24 records: a second and more at 9600 baud
    QStringList db(const QStringList& more, const QString& connection = {}) const
    {
        return QStringList{"--config-dir", folder.path(), "--database", connection.isEmpty() ? server.Connection() : connection} + more;
    }
    // A run against a simulator of `device`; its memory in dump().
    CliResult program(const char* device, const QString& connection = {})
    {
        return runAgainst({"--device", device}, {"--database", connection.isEmpty() ? server.Connection() : connection});
    }
    int setNextSerial(const char* next) const { return RunCli(db({"--set-next-serial", next})).exitCode; }
    std::vector<QJsonObject> records(const QString& connection = {}) const
    {
        std::vector<QJsonObject> list;
        for (const QString& line : RunCli(db({"--records", "--json"}, connection)).outLines())
            list.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
        return list;
    }
    std::multiset<qint64> given() const
    {
        std::multiset<qint64> numbers;
        for (const QJsonObject& r : records())
            if (!r["serial_number"].isNull())
                numbers.insert(r["serial_number"].toInteger());
        return numbers;
    }
};

} // namespace

TEST_F(Database, EightProcessesTakingFiftyNumbersEachGetFourHundredDistinctNumbersWithoutAGap)
{
    ASSERT_EQ(setNextSerial("5000"), 0);
    std::vector<pid_t> takers;
    for (int i = 0; i < 8; ++i) {
        takers.push_back(::fork());
        if (takers.back() == 0) { // a program of its own, as at a station
            DatabaseSerialNumbers numbers(std::make_shared<ProductionDatabase>(server.Connection()));
            QByteArray taken;
            for (int n = 0; n < 50 && numbers.Ready().ok(); ++n)
                taken += QByteArray::number(numbers.Take()->number) + '\n';
            folder.write(QString::number(i), taken);
            ::_exit(0);
        }
    }
    std::set<int> numbers;
    for (int i = 0; i < 8; ++i) {
        ::waitpid(takers[i], nullptr, 0);
        for (const QByteArray& number : folder.read(QString::number(i)).trimmed().split('\n'))
            numbers.insert(number.toInt());
    }
    EXPECT_EQ(numbers.size(), 400u);
    EXPECT_EQ(*numbers.begin(), 5000);
    EXPECT_EQ(*numbers.rbegin(), 5399);
}

TEST_F(Database, AFullyFilledRecordComesBackWholeFromItsRowAndItsTableLineHoldsNoControlCharacter)
{
    RunRecord filled = test::FilledRecord();
    filled.station = "line\x1b[2J\u009b\a";
    ProductionDatabase database(server.Connection());
    ASSERT_TRUE(database.InsertRecords({{"6f1c2b7e-3d5a-4c8e-9b0f-1a2b3c4d5e6f", filled}}).ok());
    const auto rows = database.Records(std::nullopt, filled.serialNumber);
    ASSERT_TRUE(rows.ok()) << rows.why().toStdString();
    ASSERT_EQ(rows->size(), 1);
    EXPECT_TRUE(rows->first().record == filled);
    EXPECT_EQ(rows->first().record.time.offsetFromUtc(), filled.time.offsetFromUtc());
    const QStringList table = RunCli(db({"--records"})).outLines(); // the reason's CR LF too
    ASSERT_EQ(table.size(), 2);
    EXPECT_TRUE(table[1].contains(R"(line\x1b[2J\u009b\x07  )")) << table[1].toStdString();
}

TEST_F(Database, FixturesHoldTheNumbersOfTheirRecordsAndTheCounterIsNeverSetBackToThem)
{
    const CliResult unset = program("fixture");
    EXPECT_TRUE(unset.exitCode == 1 && unset.why().contains("--set-next-serial")) << unset.errText().toStdString();
    ASSERT_EQ(setNextSerial("100"), 0);
    std::multiset<qint64> held;
    for (int n = 1; n <= 3; ++n) {
        const CliResult r = program("fixture");
        ASSERT_EQ(r.exitCode, 0);
        EXPECT_FALSE(r.errText().contains("vlboot-cli: ;")) << r.errText().toStdString(); // both records kept: nothing to say
        held.insert(DumpedSerialNumber(dump()));
    }
    EXPECT_EQ(records().front()["caption"].toString(), "Fault");
    EXPECT_TRUE(records().front().contains("record_id"));
    EXPECT_EQ(given(), held);
    EXPECT_EQ(held, std::multiset<qint64>({100, 101, 102}));
    const QStringList table = RunCli(db({"--records", "--serial", "101"})).outLines(); // header, one unit, in columns
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table[1].indexOf(QRegularExpression("  101  ")) + 2, table[0].indexOf("SERIAL"));
    for (const auto& [next, status] : {std::pair{"101", 1}, {"102", 1}, {"103", 0}, {"2147483648", 64}, {"2147483647", 0}})
        EXPECT_EQ(setNextSerial(next), status) << next;
}

TEST_F(Database, AKilledRunLeavesAGapAndTheServerStoppedMidBatchEndsRunsWithFaultAndQueuedRecordsArriveOnceInTheirOwnDatabase)
{
    ASSERT_EQ(setNextSerial("10"), 0);
    Simulator first({"--device", "fixture", "--baud", "9600"}); // killed once it took 10: a gap, never 10 again
    CliRun killed(args(first.TerminalPath(), {"--database", server.Connection()}));
    ASSERT_TRUE(killed.WaitForOutput("serial number: 10"));
    killed.Kill();
    {
        // Paced: the server goes while the firmware is being written.
        Simulator sim({"--device", "fixture", "--baud", "9600", "--dump", dump()});
        CliRun run(args(sim.TerminalPath(), {"--database", server.Connection()}));
        ASSERT_TRUE(run.WaitForOutput("Programming Velmora module"));
        ASSERT_TRUE(server.Stop());
        const CliResult lost = run.Finish();
        sim.Stop(); // its memory dumped
        EXPECT_EQ(lost.lastCaption(), "Fault");
        EXPECT_TRUE(lost.why().contains("the connection was lost to the production database")) << lost.errText().toStdString();
    }
    EXPECT_EQ(DumpedSerialNumber(dump()), -1);
    const CliResult unreachable = program("fixture");
    EXPECT_EQ(unreachable.outLines(), QStringList({"Init", "Fixtur found", "Fault"})); // before boot mode
    EXPECT_TRUE(unreachable.why().contains("cannot connect to the production database")) << unreachable.errText().toStdString();
    EXPECT_EQ(program("amplifier").exitCode, 0);
    const QString queueFile = QFileInfo(DatabaseRecords::QueueFileIn(folder.path(), ProductionDatabase(server.Connection()))).fileName();
    const QByteArray queue = folder.read(queueFile);
    EXPECT_EQ(queue.count('\n'), 3);

    ASSERT_TRUE(server.Start());
    const QString other = server.Connection(server.Password, "factory_b");
    EXPECT_EQ(program("amplifier", other).exitCode, 0); // another database: the queue of "factory" stays
    EXPECT_EQ(records(other).size(), 1u);
    EXPECT_EQ(folder.read(queueFile), queue);
    ASSERT_EQ(program("fixture").exitCode, 0);
    EXPECT_EQ(DumpedSerialNumber(dump()), 11);
    EXPECT_FALSE(folder.exists(queueFile));
    folder.write(queueFile, queue); // as a crash before the sent queue was removed leaves it
    ASSERT_EQ(program("amplifier").exitCode, 0);
    const std::vector<QJsonObject> all = records();
    EXPECT_EQ(all.size(), 5u);
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const QJsonObject& r) { return r["device_kind"] == "amplifier"; }), 2);
    EXPECT_EQ(given(), std::multiset<qint64>({11}));
}

TEST_F(Database, BadConnectionStringsAndWrongPasswordsGiveAClearMessageWithoutThePassword)
{
    const QString socket = server.SocketFolder();
    const std::pair<QString, const char*> cases[] = {
        {server.Connection("wrong-pw-1"), "password authentication failed for user \"vlboot\""},
        {"postgresql://vlboot:wrong-pw-3%ZZ@/factory?host=" + socket, "not valid: invalid percent-encoded token: \"***\""},
        {"host=" + socket + " password=wrong wrong-pw-4", "not valid: missing \"=\" after \"***\""},
        {"host=/nonexistent dbname=factory password=wrong-pw-5", "cannot connect to the production database (database factory on /nonexistent)"},
        // Only the password is masked, not libpq's words nor the other keys.
        {"host=" + socket + " password=on option=1", "not valid: invalid connection option \"option\""},
    };
    Simulator sim({"--device", "fixture"});
    for (const auto& [connection, message] : cases) {
        const CliResult list = RunCli(db({"--records"}, connection));
        const CliResult run = RunCli(args(sim.TerminalPath(), {"--database", connection, "--json", "--log"}));
        EXPECT_TRUE(list.exitCode == 1 && list.errText().contains(message)) << list.errText().toStdString();
        EXPECT_TRUE(run.exitCode == 1 && run.why().contains(message)) << run.errText().toStdString();
        for (const QByteArray& text : {list.out + list.err, run.out + run.err, folder.read("Log.txt"), folder.read(QFileInfo(DatabaseRecords::QueueFileIn(folder.path(), ProductionDatabase(server.Connection()))).fileName())})
            EXPECT_FALSE(text.contains("wrong")) << text.toStdString();
    }
}

TEST_F(Database, AFrozenServerEndsAFixtureRunWithFaultInTimeAndAStopSignalEndsItsWaitAtOnceWithTheRecordKept)
{
    ASSERT_EQ(setNextSerial("10"), 0);
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "SIGINT while the serial number's request waits" : "the serial number's request unanswered");
        Simulator sim({"--device", "fixture", "--baud", "9600"});
        CliRun run(args(sim.TerminalPath(), {"--database", server.Connection()}));
        ASSERT_TRUE(run.WaitForOutput("Programming Velmora module"));
        server.Freeze();
        if (stop) {
            QThread::msleep(4000); // the firmware is written by then
            run.Signal(SIGINT);
        }
        // The request's 22 s, and no second wait for the record.
        const QDeadlineTimer limit(stop ? 2500 : (ProductionDatabase::StatementSeconds + 8) * 1000);
        const CliResult r = run.Finish(60000);
        EXPECT_FALSE(limit.hasExpired());
        EXPECT_EQ(r.exitCode, stop ? 130 : 1);
        EXPECT_TRUE(r.err.contains(stop ? "stopped by SIGINT while giving out the serial number; the fixture is left in boot mode"
                                        : "why: no answer came in time from the production database"))
            << r.errText().toStdString();
        EXPECT_TRUE(r.err.contains("the record waits in")) << r.errText().toStdString();
        server.Thaw();
    }
    ASSERT_EQ(program("amplifier").exitCode, 0); // sends the queue: fault, stopped, done
    EXPECT_EQ(records().at(1)["outcome"].toString(), "stopped");
}

TEST(DatabaseIdentity, IsTheServerPortDatabaseAndUserWhateverThePasswordAndTheForm)
{
    const auto id = [](const char* connection) { return ProductionDatabase(connection).Identity(); };
    const QByteArray factory = id("host=/run/pg dbname=factory user=vlboot password=one");
    for (const auto& [connection, same] : {std::pair{"host=/run/pg dbname=factory user=vlboot password=two", true},
                                           {"password=factory user=vlboot dbname=factory host=/run/pg", true},
                                           {"postgresql://vlboot:three@/factory?host=/run/pg", true}, {"postgresql://vlboot@%2Frun%2Fpg/factory?password=x", true},
                                           {"host=/run/pg port=5432 dbname=factory user=vlboot", true}, // libpq's own port
                                           {"host=/run/pg dbname=factory2 user=vlboot", false}, {"host=/run/pg dbname=factory user=admin", false},
                                           {"host=/run/pg port=5433 dbname=factory user=vlboot", false}, {"host=db2 dbname=factory user=vlboot", false}})
        EXPECT_EQ(id(connection) == factory, same) << connection;
    EXPECT_NE(id("host=h dbname=line1 password=1"), id("host=h dbname=line2 password=2")); // masked alike, still two
}
