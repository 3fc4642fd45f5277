// The station's HTTP server in a real vlboot-cli --watch, with simulators
// whose units come and go: what it says is what its units did, a pause
// holds back the next unit, the token rules hold, bad requests leave the
// runs alone, and the page follows the line in Debian's headless Chromium.
// Every wait runs the event loop and is bounded only to catch a hang.
#include "../production/CsvReader.h"
#include "Browser.h"
#include "CliProcesses.h"
#include "FirmwareImage.h"
#include "HttpAccess.h"
#include "HttpCalls.h"
#include "TestFiles.h"
#include "Version.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <csignal>

using namespace vlboot;
using namespace vlboot::cli::test;

namespace {

const QByteArray Token = "0123456789abcdef-station";
const QByteArray Bearer = "Bearer " + Token;
constexpr int Guard = 30000;

// A watch that tells the port its HTTP server listens on.
struct WatchRun : CliRun {
    using CliRun::CliRun;
    // The port of "the station's page and API: http://HOST:PORT/" (0 when it ended first).
    int HttpPort()
    {
        static const QRegularExpression said(QStringLiteral("page and API: http://[^/]+:([0-9]+)/\n"));
        return WaitForOutput("/\n") ? said.match(QString::fromLocal8Bit(err_)).captured(1).toInt() : 0;
    }
};

// An open GET /api/events and the events it has brought, in order.
struct EventStream {
    std::unique_ptr<QNetworkReply> reply;
    QByteArray unread;
    std::vector<QJsonObject> events;

    // The index of the first event from `from` on that `matches`; -1 when none came.
    int WaitFor(const std::function<bool(const QJsonObject&)>& matches, int from = 0)
    {
        int found = -1;
        (void)QTest::qWaitFor([&] {
            unread += reply->readAll();
            for (qsizetype end; (end = unread.indexOf("\n\n")) >= 0; unread.remove(0, end + 2))
                if (unread.startsWith("data: "))
                    events.push_back(QJsonDocument::fromJson(unread.mid(6, end - 6)).object());
            for (int i = std::max(from, 0); i < int(events.size()) && found < 0; ++i)
                found = matches(events[i]) ? i : -1;
            return found >= 0;
        }, Guard);
        return found;
    }
};

// An event named `event`, on `port` when given, whose fields include `fields`.
std::function<bool(const QJsonObject&)> Is(const QString& event, const QString& port = {}, const QJsonObject& fields = {})
{
    return [=](const QJsonObject& e) {
        bool all = e["event"] == event && (port.isEmpty() || e["port"] == port);
        for (auto f = fields.begin(); f != fields.end(); ++f)
            all = all && e[f.key()] == f.value();
        return all;
    };
}

struct WatchedStation : ::testing::Test {
    vlboot::test::TestFolder folder;
    QNetworkAccessManager client;
    std::unique_ptr<WatchRun> watch;
    int port = 0;

    WatchedStation()
    {
        qunsetenv(http::TokenVariable);
        folder.write("module.ldr", sim::MakeImage({.blockCount = 1, .bytesPerBlock = 1024}).hex);
        Settings();
    }
    void Settings(const QByteArray& production = {})
    {
        folder.write("setup.ini", "[Velmsettings]\r\nSerial=100\r\n[Production]\r\nStation=line1-station2\r\n" + production);
    }
    QStringList Args(const QStringList& ports, const QString& address) const
    {
        QStringList args{"--config-dir", folder.path(), "--watch", "--http", address};
        for (const QString& p : ports)
            args << "--port" << p;
        return args << folder.file("module.ldr");
    }
    // Starts the watch on `ports`; false when it does not say where it serves.
    bool Watch(const QStringList& ports, const QString& address = "127.0.0.1:0")
    {
        watch = std::make_unique<WatchRun>(Args(ports, address));
        port = watch->HttpPort();
        return port > 0;
    }
    QUrl Url(const QString& path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port) + path); }
    http::test::Answer Call(const QByteArray& method, const QString& path, const QByteArray& authorization = {})
    {
        return http::test::Call(client, method, Url(path), authorization);
    }
    const QJsonObject Status(const QByteArray& authorization = {})
    {
        return QJsonDocument::fromJson(Call("GET", "/api/status", authorization).body).object();
    }
    QJsonArray Records(const QString& query)
    {
        return QJsonDocument::fromJson(Call("GET", "/api/records" + query).body).array();
    }
    EventStream Events(const QByteArray& authorization = {})
    {
        QNetworkRequest request(Url("/api/events"));
        if (!authorization.isEmpty())
            request.setRawHeader("Authorization", authorization);
        EventStream stream{std::unique_ptr<QNetworkReply>(client.get(request)), {}, {}};
        EXPECT_EQ(stream.WaitFor(Is("status")), 0);
        return stream;
    }
    // SIGINT: the watch ends; its exit status.
    int Stop()
    {
        watch->Signal(SIGINT);
        return watch->Finish().exitCode;
    }
};

// A record of /api/records equals its line of runs.csv, field by field.
void ExpectSameRecord(const QJsonObject& record, const QMap<QString, QString>& line)
{
    EXPECT_EQ(QStringList(record.keys()), QStringList(line.keys()));
    for (auto field = line.begin(); field != line.end(); ++field) {
        const QJsonValue v = record[field.key()];
        const QString& cell = field.value();
        SCOPED_TRACE(field.key().toStdString() + ": " + cell.toStdString());
        if (field.key() == "ended_at")
            EXPECT_EQ(QDateTime::fromString(v.toString(), Qt::ISODateWithMs), QDateTime::fromString(cell, Qt::ISODate));
        else if (v.isDouble())
            EXPECT_NEAR(v.toDouble(), cell.toDouble(), 1e-6);
        else
            EXPECT_EQ(v.isArray() ? QString() : v.toString(), cell);
    }
}

} // namespace

TEST_F(WatchedStation, ItsStatusRecordsAndEventsAreWhatItsUnitsDid)
{
    const QByteArray sha256 = QCryptographicHash::hash(folder.read("module.ldr"), QCryptographicHash::Sha256).toHex();
    Settings("FirmwareSha256=" + sha256 + "\r\n");
    Simulator fixture({"--device", "fixture", "--start-absent"});
    Simulator amplifier({"--device", "amplifier", "--start-absent", "--fault", "program:1:status"});
    const QString fx = fixture.TerminalPath(), amp = amplifier.TerminalPath();
    ASSERT_TRUE(Watch({fx, amp}));
    EventStream stream = Events();
    fixture.Signal(SIGUSR2);
    amplifier.Signal(SIGUSR2);
    const int programming = stream.WaitFor(Is("port", fx, {{"state", "programming"}}));
    EXPECT_GE(programming, 0);
    const int result = stream.WaitFor(Is("result", fx, {{"outcome", "success"}, {"serial_number", 100}}));
    EXPECT_GT(result, programming);
    EXPECT_GT(stream.WaitFor(Is("port", fx, {{"state", "passed"}, {"unit", QJsonValue()}, {"percent", 0}}), result), result);
    const int fault = stream.WaitFor(Is("result", amp, {{"outcome", "fault"}}));
    ASSERT_GE(fault, 0);
    const QJsonValue why = stream.events[fault]["why"];
    EXPECT_TRUE(why.toString().contains("status 0x14")) << why.toString().toStdString();
    EXPECT_GE(stream.WaitFor(Is("totals", {}, {{"passed", 1}, {"failed", 1}})), 0);

    const QJsonObject status = Status();
    const QJsonObject firmware{{"file", folder.file("module.ldr")}, {"sha256", QString(sha256)}, {"pinned", true}};
    EXPECT_EQ(status["station"], QJsonObject({{"name", "line1-station2"}, {"version", VersionText}, {"firmware", firmware},
                                              {"serial_source", "setup.ini"}, {"paused", false}}));
    // Both units are still on their fixtures, no longer in progress: one passed, one failed with its reason.
    const auto port = [&](int i) {
        QJsonObject p = status["ports"][i].toObject(), last = p["last"].toObject();
        last.remove("ended");
        p["last"] = last;
        return p;
    };
    const QJsonValue none;
    EXPECT_EQ(port(0), QJsonObject({{"port", fx}, {"state", "passed"}, {"percent", 0}, {"unit", none}, {"passed", 1}, {"failed", 0},
                                    {"last", QJsonObject{{"outcome", "success"}, {"serial_number", 100}, {"why", none}}}}));
    EXPECT_EQ(port(1), QJsonObject({{"port", amp}, {"state", "failed"}, {"percent", 0}, {"unit", none}, {"passed", 0}, {"failed", 1},
                                    {"last", QJsonObject{{"outcome", "fault"}, {"serial_number", none}, {"why", why}}}}));
    EXPECT_EQ(status["totals"]["passed"], 1);
    EXPECT_EQ(status["totals"]["failed"], 1);
    EXPECT_GT(status["totals"]["units_per_hour"].toDouble(), 0);

    // The records are the lines the units wrote into runs.csv, and the query picks among them.
    QMap<QString, QMap<QString, QString>> lines; // by device path
    for (const auto& line : CsvRecords(folder.read("runs.csv")))
        lines[line["device_path"]] = line;
    const QJsonArray records = Records("");
    EXPECT_EQ(records.size(), 2);
    for (const QJsonValue& record : records)
        ExpectSameRecord(record.toObject(), lines[record["device_path"].toString()]);
    const QJsonArray hundred = Records("?serial=100");
    EXPECT_EQ(hundred.size(), 1);
    EXPECT_EQ(hundred[0]["device_path"], fx);
    EXPECT_EQ(Records("?serial=101").size(), 0);
    EXPECT_EQ(Records("?since=" + QDateTime::currentDateTimeUtc().addSecs(-600).toString(Qt::ISODate)).size(), 2);
    EXPECT_EQ(Records("?since=" + QDate::currentDate().addDays(1).toString(Qt::ISODate)).size(), 0);
    EXPECT_EQ(Stop(), 130);
}

TEST_F(WatchedStation, APausedStationBeginsNoUnitAndTheOneInProgressFinishes)
{
    Settings("HttpToken=" + Token + "\r\n");
    Simulator fixture({"--device", "fixture", "--baud", "9600", "--start-absent", "--leave-after-exit", "0.3", "--units-log",
                       folder.file("units.log")});
    ASSERT_TRUE(Watch({fixture.TerminalPath()}));
    EventStream stream = Events(Bearer);
    fixture.Signal(SIGUSR2);
    EXPECT_GE(stream.WaitFor(Is("port", {}, {{"state", "programming"}})), 0);
    const auto [code, body, allow] = Call("POST", "/api/pause", Bearer);
    EXPECT_EQ(code, 200);
    EXPECT_EQ(QJsonDocument::fromJson(body)["station"]["paused"], true);
    const int paused = stream.WaitFor([](const QJsonObject& e) { return e["event"] == "status" && e["station"]["paused"] == true; });
    EXPECT_GT(paused, 0); // every open stream hears of it
    const int first = stream.WaitFor(Is("result", {}, {{"outcome", "success"}}), paused);
    EXPECT_GT(first, paused); // the unit in progress finished
    const int gone = stream.WaitFor(Is("port", {}, {{"state", "waiting"}}), first);
    ASSERT_GT(gone, first);
    fixture.Signal(SIGUSR2); // the next unit comes while paused
    QTest::qWait(2000);      // the watch asks four times a second: it finds the unit and must leave it be
    const double resumedAt = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    EXPECT_EQ(Call("POST", "/api/resume", Bearer).code, 200);
    const int resumed = stream.WaitFor([](const QJsonObject& e) { return e["event"] == "status" && e["station"]["paused"] == false; }, gone);
    EXPECT_GT(resumed, gone);
    for (int i = gone; i < resumed; ++i)
        EXPECT_FALSE(Is("port", {}, {{"state", "programming"}})(stream.events[i])) << "a unit began while paused";
    EXPECT_GT(stream.WaitFor(Is("result", {}, {{"outcome", "success"}}), resumed), resumed);
    EXPECT_EQ(Stop(), 130);
    fixture.Stop();
    const QList<QByteArray> log = folder.read("units.log").trimmed().split('\n');
    ASSERT_EQ(log.size(), 2);
    const QJsonObject second = QJsonDocument::fromJson(log[1]).object();
    const double start = second["start_epoch"].toDouble();
    EXPECT_LT(start + second["first_answer"].toDouble(), resumedAt); // seen while paused,
    EXPECT_GT(start + second["boot_entry"].toDouble(), resumedAt);   // programmed only after the resume,
    EXPECT_EQ(second["complete_runs"], 1);                           // and once
}

TEST_F(WatchedStation, BeyondLoopbackEveryRequestNeedsTheToken)
{
    const QString nowhere = folder.file("ttyNone"); // a port without a device: nothing to program
    struct Refusal { QString address; QByteArray setting; QString why; };
    for (const Refusal& c : {Refusal{"0.0.0.0:0", {}, "does not listen on 0.0.0.0 without a token"},
                             Refusal{"127.0.0.1:0", "HttpToken=0123456789abcde\r\n", "at least 16 characters"}}) {
        SCOPED_TRACE(c.address.toStdString());
        Settings(c.setting);
        const CliResult r = WatchRun(Args({nowhere}, c.address)).Finish();
        EXPECT_EQ(r.exitCode, 64);
        EXPECT_TRUE(r.errText().contains(c.why)) << r.errText().toStdString();
    }
    // HttpToken= of [Production], and the environment's, which wins.
    const QByteArray other = "fedcba9876543210-station";
    for (const QByteArray& environment : {QByteArray(), other}) {
        SCOPED_TRACE(environment.toStdString());
        Settings("HttpToken=" + Token + "\r\n");
        qputenv(http::TokenVariable, environment);
        const bool started = Watch({nowhere}, "0.0.0.0:0");
        qunsetenv(http::TokenVariable);
        ASSERT_TRUE(started);
        const QByteArray token = environment.isEmpty() ? Token : environment;
        const QByteArray wrong = environment.isEmpty() ? other : Token;
        struct Case { QByteArray method; QString path; QByteArray authorization; int code; };
        const Case cases[] = {
            {"GET", "/api/status", {}, 401}, {"GET", "/api/status", "Bearer " + wrong, 401},
            {"GET", "/api/status", "Bearer " + token, 200}, {"GET", "/?token=" + wrong, {}, 401},
            {"GET", "/?token=" + token, {}, 200}, {"POST", "/api/pause", {}, 401},
            {"POST", "/api/pause?token=" + token, {}, 401}, {"POST", "/api/pause", "Bearer " + wrong, 401},
            {"POST", "/api/pause", "Bearer " + token, 200},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE((c.method + " " + c.path + " " + c.authorization).toStdString());
            EXPECT_EQ(Call(c.method, c.path, c.authorization).code, c.code);
        }
        const QJsonObject status = Status("Bearer " + token);
        EXPECT_EQ(status["station"]["paused"], true);
        EXPECT_EQ(status["station"]["firmware"]["pinned"], false); // no FirmwareSha256= here
        EXPECT_EQ(Stop(), 130);
    }
}

TEST_F(WatchedStation, BadAndOversizedRequestsAreRefusedWhileTheUnitRunsOn)
{
    Simulator fixture({"--device", "fixture", "--baud", "9600", "--start-absent", "--units-log", folder.file("units.log")});
    ASSERT_TRUE(Watch({fixture.TerminalPath()}));
    EventStream stream = Events();
    fixture.Signal(SIGUSR2);
    EXPECT_GE(stream.WaitFor(Is("port", {}, {{"state", "programming"}})), 0);
    QTcpSocket slow; // half a head, held open over the run
    slow.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    slow.write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    const QByteArray status = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"GARBAGE\r\n\r\n", ""},
        {status + "X-Pad: " + QByteArray(9000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {"POST /api/pause HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000\r\n\r\n" + QByteArray(100000, 'a'), "HTTP/1.1 413"},
        {"GET /api/records?serial=12x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400"},
    };
    for (const auto& [request, answer] : cases) {
        SCOPED_TRACE(request.left(40).toStdString());
        const auto [got, closed] = http::test::Raw(port, request);
        EXPECT_TRUE(answer.isEmpty() ? got.isEmpty() && closed : got.startsWith(answer)) << got.left(200).constData();
    }
    EXPECT_GE(stream.WaitFor(Is("result", {}, {{"outcome", "success"}, {"serial_number", 100}})), 0);
    EXPECT_EQ(Status()["totals"]["passed"], 1);
    EXPECT_EQ(Stop(), 130);
    fixture.Stop();
    const QJsonObject unit = QJsonDocument::fromJson(folder.read("units.log")).object();
    EXPECT_EQ(unit["boot_entries"], 1);
    EXPECT_EQ(unit["complete_runs"], 1);
}

TEST_F(WatchedStation, ThePageShowsATilePerPortAndATileChangesWhenItsUnitPasses)
{
    if (QStandardPaths::findExecutable("chromium").isEmpty())
        GTEST_SKIP() << "chromium is not installed (apt-get install chromium): the page is not tried in a browser";
    Settings("HttpToken=" + Token + "\r\n");
    Simulator fixture({"--device", "fixture", "--start-absent"});
    Simulator amplifier({"--device", "amplifier", "--start-absent"}); // no unit comes
    const QString fx = fixture.TerminalPath(), amp = amplifier.TerminalPath(), nowhere = folder.file("ttyNone");
    ASSERT_TRUE(Watch({fx, amp, nowhere}));
    http::test::Browser browser(client);
    ASSERT_TRUE(browser.Open(Url("/?token=" + Token)));
    const QString tiles = "[...document.querySelectorAll('.tile')].map(t => t.dataset.port + ': ' + t.querySelector('.state').textContent"
                          " + ' / ' + t.querySelector('.detail').textContent).join('; ')";
    const QString absent = nowhere + ": Absent / " + Status(Bearer)["ports"][2]["detail"].toString();
    QString seen;
    // Live: the page follows the event stream.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return (seen = browser.Text(tiles)) == fx + ": Waiting / Place a unit; " + amp + ": Waiting / Place a unit; " + absent
            && browser.Text("document.getElementById('connection').textContent") == "Live";
    }, Guard)) << seen.toStdString();
    fixture.Signal(SIGUSR2);
    const QString passed = fx + ": ✔ Passed / Serial number 100; " + amp + ": Waiting / Place a unit; " + absent + " / 1";
    const QString now = tiles + " + ' / ' + document.getElementById('passed').textContent";
    EXPECT_TRUE(QTest::qWaitFor([&] { return (seen = browser.Text(now)) == passed; }, Guard)) << seen.toStdString();
    EXPECT_EQ(Call("POST", "/api/pause", Bearer).code, 200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return browser.Text("document.getElementById('paused').hidden") == "false"; }, Guard));

    const QByteArray png = browser.Screenshot();
    QDir().mkpath(VLBOOT_TEST_OUTPUT);
    QFile file(VLBOOT_TEST_OUTPUT "/station-page.png");
    EXPECT_TRUE(png.startsWith("\x89PNG") && file.open(QIODevice::WriteOnly) && file.write(png) == png.size());
    EXPECT_EQ(Stop(), 130);
}
