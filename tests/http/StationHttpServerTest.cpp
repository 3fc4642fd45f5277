// The station's HTTP server on loopback with a fake station behind it, met
// with real clients (Qt's HTTP client, raw sockets): what a request gets at
// the edges of its path, query, credentials and size, and the event
// streams' fan-out. WatchHttpTest meets it in a real watching station. Every
// wait runs the event loop, which the server shares.
#include "HttpAccess.h"
#include "HttpCalls.h"
#include "StationHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace vlboot::http;
using vlboot::Outcome;
using vlboot::Result;
using vlboot::http::test::Answer;

namespace {

const QString Token = QStringLiteral("0123456789abcdef-station");
const QByteArray Bearer = "Bearer " + Token.toLatin1();

// The server with the test as its station: it answers from its fields (the
// records from a thread of their own, or never when `silent`) and keeps
// what it was asked.
struct StationServer : ::testing::Test, StationFeed {
    QJsonObject status;
    std::optional<QJsonArray> records = QJsonArray();
    QString why, token;
    std::optional<RecordQuery> asked;
    int pauses = 0, resumes = 0;
    bool silent = false;
    std::unique_ptr<StationHttpServer> server;
    QNetworkAccessManager client;

    QJsonObject Status() const override { return status; }
    void Records(const RecordQuery& query, RecordsReply reply) override
    {
        asked = query;
        if (!silent)
            QueryInThread([r = records, w = why]() -> Result<QJsonArray> { return r ? Result<QJsonArray>(*r) : Outcome::Failed(w); }, reply);
    }
    void Pause() override { ++pauses; }
    void Resume() override { ++resumes; }

    void Start(const QString& withToken = {})
    {
        token = withToken;
        server = std::make_unique<StationHttpServer>(
            *this, HttpLimits{.requestTimeout = std::chrono::seconds(1), .recordsTimeout = std::chrono::seconds(2),
                              .heartbeat = std::chrono::milliseconds(50)});
        const Outcome started = server->StartAt("127.0.0.1:0", token);
        ASSERT_TRUE(started) << started.why().toStdString();
    }
    QUrl Url(const QString& path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server->Port()) + path); }

    Answer Call(const QByteArray& method, const QString& path, const QByteArray& authorization = {}, const QByteArray& host = {})
    {
        return test::Call(client, method, Url(path), authorization, host);
    }
};

TEST_F(StationServer, RecordQueriesReachTheStationAsAskedAndBadOnesAre400)
{
    Start();
    records = QJsonArray{QJsonObject{{"serial_number", 1207}, {"caption", "Done with succes"}}};
    struct Case { QString query; int code; std::optional<QDateTime> since = {}; std::optional<qint64> serial = {}; };
    const Case cases[] = {
        {"", 200}, {"?since=2025-01-15", 200, QDate(2025, 1, 15).startOfDay()},
        {"?since=2025-01-15T09:12:03%2B01:00&serial=1207", 200, QDateTime::fromString("2025-01-15T08:12:03Z", Qt::ISODate), 1207},
        {"?serial=4294967295", 200, {}, 4294967295}, {"?serial=4294967296", 400}, {"?serial=-1", 400}, {"?serial=12a", 400},
        {"?serial=", 400}, {"?since=2025-02-30", 400}, {"?since=yesterday", 400}, {"?serial=1&serial=1", 400}, {"?limit=5", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        asked.reset();
        const auto [code, body, allow] = Call("GET", "/api/records" + c.query);
        EXPECT_EQ(code, c.code);
        EXPECT_TRUE(c.code == 200 ? QJsonDocument::fromJson(body).array() == *records : !QJsonDocument::fromJson(body)["error"].toString().isEmpty());
        EXPECT_EQ(asked.has_value(), c.code == 200); // a bad query never reaches the station
        EXPECT_TRUE(!asked || (asked->since == c.since && asked->serial == c.serial));
    }
    records.reset();
    why = "the production database on db.line.example does not answer";
    const auto [code, down, allow] = Call("GET", "/api/records");
    EXPECT_EQ(code, 503);
    EXPECT_EQ(QJsonDocument::fromJson(down)["error"].toString(), why);
    silent = true; // the answer's time-out (2 s), not the connection's (1 s), ends the wait
    EXPECT_EQ(Call("GET", "/api/records").code, 504);
}

TEST_F(StationServer, EachEventReachesEveryOpenStreamAndOneThatFallsBehindIsDropped)
{
    Start();
    status = {{"station", "line1"}};
    std::unique_ptr<QNetworkReply> reader(client.get(QNetworkRequest(Url("/api/events"))));
    std::unique_ptr<QNetworkReply> stalled(client.get(QNetworkRequest(Url("/api/events"))));
    stalled->setReadBufferSize(4096); // once the test stops reading it, the client stops reading the stream
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->EventStreamCount() == 2; }));
    const QJsonObject event{{"event", "result"}, {"port", "/dev/ttyUSB1"}, {"outcome", "success"}, {"serial_number", 1207}};
    server->Publish(event);
    const QByteArray frame = "data: " + QJsonDocument(event).toJson(QJsonDocument::Compact) + "\n\n";
    QByteArray a, b;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        a += reader->readAll();
        b += stalled->readAll();
        return a.startsWith("retry: 2000\n\n" R"(data: {"event":"status","station":"line1"})" "\n\n") && a.contains(frame) && b.contains(frame) && a.endsWith(": heartbeat\n\n");
    })) << a.constData();
    // The kernel's buffers take a few MiB before the server's own grows.
    for (int i = 0; i < 1000 && server->EventStreamCount() == 2; ++i) {
        server->Publish({{"event", "caption"}, {"text", QString(64 * 1024, 'x')}});
        QTest::qWait(1);
    }
    reader.reset(); // a client that goes leaves the streams; none is left if the one dropped was the stalled one
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->EventStreamCount() == 0; }));
}

// What each request gets by its path, method, credentials and Host, with and
// without a token.
TEST_F(StationServer, EachRequestIsAnsweredByPathMethodAndCredentials)
{
    struct Case { QString token; QByteArray method; QString path; QByteArray authorization; int code; QByteArray allow = {}, host = {}; };
    const Case cases[] = {
        {{}, "GET", "/", {}, 200}, {{}, "GET", "/api/status", {}, 200, {}, "localhost:8080"},
        {{}, "GET", "/api/status", {}, 200, {}, "[::1]:8080"},
        {{}, "GET", "/api/status", {}, 403, {}, "station.example:8080"}, // a web page's own name for loopback
        {{}, "POST", "/api/pause", {}, 403}, {{}, "POST", "/api/resume", Bearer, 403}, // steering needs a token
        {{}, "GET", "/" + QString(5000, 'x'), {}, 404}, {{}, "GET", "/" + QString(5000, 'y'), {}, 404}, // two heads, one connection
        {{}, "GET", "/api/status/", {}, 404}, {{}, "GET", "/station.js", {}, 404}, {{}, "GET", "/%2e%2e/%2e%2e/etc/passwd", {}, 404},
        {{}, "POST", "/api/status", {}, 405, "GET"}, {{}, "DELETE", "/", {}, 405, "GET"}, {{}, "FOO", "/api/events", {}, 405, "GET"}, {{}, "HEAD", "/", {}, 405, "GET, POST"},
        // (WatchHttpTest: no, a wrong and the right token, in the header and in the page's address, for GET and POST.)
        {Token, "GET", "/api/status", Bearer + "x", 401}, {Token, "GET", "/api/status", Bearer.chopped(1), 401},
        {Token, "GET", "/api/status", "Basic" + Bearer.mid(6), 401}, {Token, "GET", "/api/status", "bearer" + Bearer.mid(6), 200},
        {Token, "GET", "/api/status?token=" + Token, {}, 401}, {Token, "GET", "/nowhere", {}, 401},
        {Token, "POST", "/api/pause", Bearer, 200}, {Token, "POST", "/api/resume", Bearer, 200}, {Token, "GET", "/api/resume", Bearer, 405, "POST"},
    };
    for (const Case& c : cases) {
        if (!server || c.token != token)
            Start(c.token);
        SCOPED_TRACE((c.token + " " + c.method + " " + c.path + " " + c.authorization + " " + c.host).toStdString());
        const auto [code, body, allow] = Call(c.method, c.path, c.authorization, c.host);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(allow, c.allow);
        EXPECT_EQ(QJsonDocument::fromJson(body)["error"].toString().isEmpty(), c.code == 200 || c.method == "HEAD");
    }
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(resumes, 1);
}

TEST_F(StationServer, ItStartsWhereItIsSafeAndAsItsAddressSays)
{
    // refusal: what the reason names ("": it starts); the last case leaves the environment without a token.
    struct Case { QString endpoint, setting, environment, refusal; };
    const Case cases[] = {
        {"127.0.0.1:0", {}, {}, {}}, {"localhost:0", Token, {}, {}}, {"0", {}, Token, {}}, {"*:0", {}, {}, TokenVariable},
        {"[::]:0", {}, {}, "HttpToken="}, {"127.0.0.1:0", Token + " !", {}, "16 characters"}, {"localhost:0", {}, "short-token", "16 characters"},
        {"65536", {}, {}, "'65536'"}, {"host.example:80", {}, {}, "'host.example:80'"}, {"::1:80", {}, {}, "'::1:80'"},
        {"[::1]", {}, {}, "'[::1]'"}, {"1.2.3.4:", {}, {}, "'1.2.3.4:'"}, {"1.2.3.4:80:90", {}, {}, "'1.2.3.4:80:90'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.endpoint + " " + c.setting + " " + c.environment).toStdString());
        qputenv(TokenVariable, c.environment.toUtf8());
        StationHttpServer station(*this);
        const Outcome started = station.StartAt(c.endpoint, c.setting);
        EXPECT_EQ(started.ok(), c.refusal.isEmpty());
        EXPECT_TRUE(c.refusal.isEmpty() ? station.PageUrl() == QString("http://127.0.0.1:%1/").arg(station.Port())
                                        : started.why().contains(c.refusal) && station.Port() == 0)
            << started.why().toStdString();
        EXPECT_FALSE(c.refusal.isEmpty() && station.StartAt("127.0.0.1:0", {}).ok()); // once only
    }
    EXPECT_TRUE(ListenRefusal(QHostAddress("192.0.2.7"), Token).ok()); // beyond loopback with a token
}

TEST_F(StationServer, RequestsBeyondTheBoundsAreRefusedAndSlowOnesClosed)
{
    Start(Token);
    const QByteArray start = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + Bearer + "\r\n";
    const auto head = [&](int size) { return start + "X-Pad: " + QByteArray(size - start.size() - 11, 'a') + "\r\n\r\n"; };
    const auto fields = [&](int count) { return start + QByteArray("X-Field: a\r\n").repeated(count - 2) + "\r\n"; };
    const auto post = [&](int size) {
        return "POST /api/pause HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + Bearer + "\r\nContent-Length: "
            + QByteArray::number(size) + "\r\n\r\n" + QByteArray(size, 'a');
    };
    const std::pair<QByteArray, QByteArray> cases[] = {
        {head(8192), "HTTP/1.1 200"}, {head(8193), "HTTP/1.1 431"}, {fields(64), "HTTP/1.1 200"}, {fields(65), "HTTP/1.1 431"},
        {post(4096), "HTTP/1.1 200"}, {post(4097), "HTTP/1.1 413"}, {post(1 << 20), "HTTP/1.1 413"},
        {"GARBAGE\r\n\r\n", ""}, {"", ""}, {start, ""}, // not HTTP, nothing, half a head: closed unanswered
    };
    for (const auto& [request, answer] : cases) {
        SCOPED_TRACE(request.left(60).toStdString() + "... " + std::to_string(request.size()) + " bytes");
        const auto [got, closed] = test::Raw(server->Port(), request);
        EXPECT_TRUE(got.startsWith(answer)) << got.left(200).constData();
        EXPECT_TRUE(!answer.isEmpty() || (got.isEmpty() && closed));
    }
}

} // namespace
