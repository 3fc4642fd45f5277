// The station's HTTP API with a fake station behind it and real HTTP
// clients: what each path answers, who may ask, and what a client cannot
// make the server hold.
#include "HttpAccess.h"
#include "StationServerFixture.h"

#include <QJsonArray>
#include <QUrlQuery>

using namespace vlboot::http;
using namespace vlboot::http::test;

namespace {

const QByteArray Bearer = "Bearer " + Token.toLatin1();

TEST_F(StationServer, StatusAndRecordsAreTheStationsOwnAsJson)
{
    Start();
    feed.status = {{"station", QJsonObject{{"name", "line1"}, {"paused", false}}}, {"ports", QJsonArray()}};
    const Reply status = Call("GET", "/api/status");
    EXPECT_EQ(status.code, 200);
    EXPECT_EQ(QJsonDocument::fromJson(status.body).object(), feed.status);

    feed.records = QJsonArray{QJsonObject{{"serial_number", 1207}, {"caption", "Done with succes"}}};
    const Reply records = Call("GET", "/api/records");
    EXPECT_EQ(records.code, 200);
    EXPECT_EQ(QJsonDocument::fromJson(records.body).array(), *feed.records);

    feed.records.reset();
    feed.why = "the production database on db.line.example does not answer";
    const Reply down = Call("GET", "/api/records");
    EXPECT_EQ(down.code, 503);
    EXPECT_EQ(down.error(), feed.why);
}

TEST_F(StationServer, RecordQueriesReachTheStationAndBadOnesAre400)
{
    Start();
    struct Case {
        QString query;
        int code;
        std::optional<QDateTime> since;
        std::optional<qint64> serial;
    };
    const Case cases[] = {
        {"", 200, {}, {}},
        {"?since=2025-01-15", 200, QDate(2025, 1, 15).startOfDay(), {}},
        {"?since=2025-01-15T09:12:03%2B01:00&serial=1207", 200,
         QDateTime::fromString("2025-01-15T08:12:03Z", Qt::ISODate), 1207},
        {"?serial=4294967295", 200, {}, 4294967295},
        {"?serial=4294967296", 400, {}, {}}, {"?serial=-1", 400, {}, {}}, {"?serial=12a", 400, {}, {}},
        {"?serial=", 400, {}, {}}, {"?since=2025-02-30", 400, {}, {}}, {"?since=yesterday", 400, {}, {}},
        {"?serial=1&serial=1", 400, {}, {}}, {"?limit=5", 400, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        feed.asked.reset();
        const Reply reply = Call("GET", "/api/records" + c.query);
        EXPECT_EQ(reply.code, c.code);
        EXPECT_EQ(reply.error().isEmpty(), c.code == 200);
        EXPECT_EQ(feed.asked.has_value(), c.code == 200); // a bad query never reaches the station
        if (feed.asked) {
            EXPECT_EQ(feed.asked->since, c.since);
            EXPECT_EQ(feed.asked->serial, c.serial);
        }
    }
}

TEST_F(StationServer, EachEventReachesEveryOpenStreamWithHeartbeatsBetween)
{
    Start();
    std::unique_ptr<QNetworkReply> first(client.get(QNetworkRequest(Url("/api/events"))));
    std::unique_ptr<QNetworkReply> second(client.get(QNetworkRequest(Url("/api/events"))));
    ASSERT_TRUE(WaitFor([&] { return server->EventStreamCount() == 2; }));
    const QJsonObject event{{"event", "result"}, {"port", "/dev/ttyUSB1"}, {"outcome", "success"}, {"serial_number", 1207}};
    server->Publish(event);
    const QByteArray frame = "data: " + QJsonDocument(event).toJson(QJsonDocument::Compact) + "\n\n";
    QByteArray a, b;
    EXPECT_TRUE(WaitFor([&] {
        a += first->readAll();
        b += second->readAll();
        return a.contains(frame) && b.contains(frame) && a.endsWith(": heartbeat\n\n");
    })) << a.constData();
    first.reset(); // a client that goes leaves the streams
    EXPECT_TRUE(WaitFor([&] { return server->EventStreamCount() == 1; }));
}

TEST_F(StationServer, AStreamWhoseClientStopsReadingIsDropped)
{
    Start();
    QTcpSocket reader;
    reader.setReadBufferSize(1024);
    reader.connectToHost(QHostAddress(QHostAddress::LocalHost), server->Port());
    reader.write("GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n");
    ASSERT_TRUE(WaitFor([&] { return server->EventStreamCount() == 1; }));
    const QJsonObject event{{"event", "caption"}, {"text", QString(64 * 1024, 'x')}};
    // The kernel's buffers take a few MiB before the server's own grows.
    for (int i = 0; i < 1000 && server->EventStreamCount() == 1; ++i) {
        server->Publish(event);
        WaitFor([] { return false; }, 1);
    }
    EXPECT_EQ(server->EventStreamCount(), 0);
}

TEST_F(StationServer, WithoutATokenOnlyThisMachineReadsAndNobodySteers)
{
    Start();
    EXPECT_EQ(Call("POST", "/api/pause").code, 403);
    const Reply resume = Call("POST", "/api/resume", Bearer);
    EXPECT_EQ(resume.code, 403);
    EXPECT_TRUE(resume.error().contains("HttpToken=")) << resume.error().toStdString();
    EXPECT_EQ(feed.pauses + feed.resumes, 0);
    // A web page reaching loopback under a name of its own (DNS rebinding).
    EXPECT_EQ(Call("GET", "/api/status", {}, "station.example:8080").code, 403);
    EXPECT_EQ(Call("GET", "/api/status", {}, "localhost:8080").code, 200);
    EXPECT_EQ(Call("GET", "/api/status", {}, "[::1]:8080").code, 200);
}

TEST_F(StationServer, WithATokenEveryRequestNeedsIt)
{
    Start(Token);
    struct Case {
        QByteArray method;
        QString path;
        QByteArray authorization;
        int code;
    };
    const Case cases[] = {
        {"GET", "/api/status", {}, 401},
        {"GET", "/api/status", Bearer + "x", 401},
        {"GET", "/api/status", Bearer.left(Bearer.size() - 1), 401},
        {"GET", "/api/status", "Basic " + Token.toLatin1(), 401},
        {"GET", "/api/status", "bearer " + Token.toLatin1(), 200},
        {"GET", "/api/status?token=" + Token, {}, 401}, // the API takes the header only
        {"GET", "/?token=" + Token, {}, 200},
        {"GET", "/?token=x" + Token, {}, 401},
        {"GET", "/nowhere", {}, 401},
        {"POST", "/api/pause", {}, 401},
        {"POST", "/api/pause?token=" + Token, {}, 401},
        {"POST", "/api/pause", Bearer, 200},
        {"POST", "/api/resume", Bearer, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.method + " " + c.path + " " + c.authorization).toStdString());
        EXPECT_EQ(Call(c.method, c.path, c.authorization).code, c.code);
    }
    EXPECT_EQ(feed.pauses, 1);
    EXPECT_EQ(feed.resumes, 1);
}

TEST(StationServerStart, BeyondLoopbackItNeedsAUsableToken)
{
    FakeFeed feed;
    StationHttpServer server(feed);
    QString why;
    EXPECT_FALSE(server.Start(QHostAddress(QHostAddress::Any), 0, {}, why));
    EXPECT_TRUE(why.contains("HttpToken=") && why.contains(TokenVariable)) << why.toStdString();
    EXPECT_FALSE(server.Start(QHostAddress(QHostAddress::LocalHost), 0, "short-token", why));
    EXPECT_FALSE(server.Start(QHostAddress(QHostAddress::LocalHost), 0, Token + " !", why));
    EXPECT_TRUE(ListenRefusal(QHostAddress("192.0.2.7"), Token).isEmpty());
    EXPECT_FALSE(ListenRefusal(QHostAddress("192.0.2.7"), {}).isEmpty());
    EXPECT_FALSE(ListenRefusal(QHostAddress(QHostAddress::AnyIPv6), {}).isEmpty());
    ASSERT_TRUE(server.Start(QHostAddress(QHostAddress::LocalHost), 0, {}, why)) << why.toStdString();
    EXPECT_FALSE(server.Start(QHostAddress(QHostAddress::LocalHost), 0, {}, why));
}

TEST(StationServerStart, AddressesAreReadAsPortAddressAndPortOrBracketedIPv6)
{
    const std::tuple<QString, QHostAddress, quint16> good[] = {
        {"8080", QHostAddress(QHostAddress::LocalHost), 8080}, {"localhost:8080", QHostAddress("127.0.0.1"), 8080},
        {"0.0.0.0:80", QHostAddress("0.0.0.0"), 80}, {"[::1]:65535", QHostAddress("::1"), 65535},
        {"*:8080", QHostAddress(QHostAddress::Any), 8080},
    };
    for (const auto& [text, address, port] : good) {
        QString why;
        const auto endpoint = ParseHttpEndpoint(text, why);
        EXPECT_TRUE(endpoint && endpoint->address == address && endpoint->port == port)
            << text.toStdString() << ": " << why.toStdString();
    }
    for (const QString bad : {"", "0", "65536", "host.example:80", "::1:80", "[::1]", "1.2.3.4:", "1.2.3.4:80:90"}) {
        QString why;
        EXPECT_FALSE(ParseHttpEndpoint(bad, why)) << bad.toStdString();
        EXPECT_TRUE(why.contains(bad)) << why.toStdString();
    }
}

TEST_F(StationServer, RequestsBeyondTheBoundsAreRefusedAndSlowOnesClosed)
{
    Start(Token);
    const QByteArray start = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + Bearer + "\r\n";
    const auto head = [&](int size) { return start + "X-Pad: " + QByteArray(size - start.size() - 11, 'a') + "\r\n\r\n"; };
    const auto fields = [&](int count) {
        QByteArray h = start;
        for (int i = 2; i < count; ++i)
            h += "X-" + QByteArray::number(i) + ": a\r\n";
        return h + "\r\n";
    };
    const auto post = [&](int size) {
        return "POST /api/pause HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + Bearer
            + "\r\nContent-Length: " + QByteArray::number(size) + "\r\n\r\n" + QByteArray(size, 'a');
    };
    const std::pair<QByteArray, QByteArray> cases[] = {
        {head(8192), "HTTP/1.1 200"}, {head(8193), "HTTP/1.1 431"},
        {fields(64), "HTTP/1.1 200"}, {fields(65), "HTTP/1.1 431"},
        {post(4096), "HTTP/1.1 200"}, {post(4097), "HTTP/1.1 413"},
        {post(1 << 20), "HTTP/1.1 413"},
        // Not HTTP, nothing, half a head: closed without an answer.
        {"GARBAGE\r\n\r\n", ""}, {"", ""}, {start, ""},
    };
    for (const auto& [request, answer] : cases) {
        SCOPED_TRACE(request.left(60).toStdString() + "... " + std::to_string(request.size()) + " bytes");
        const auto [got, closed] = Raw(request);
        EXPECT_TRUE(got.startsWith(answer)) << got.left(200).constData();
        EXPECT_TRUE(!answer.isEmpty() || (got.isEmpty() && closed));
    }
}

TEST_F(StationServer, OnlyTheStationsPathsAndMethodsAreServed)
{
    Start();
    struct Case {
        QByteArray method;
        QString path;
        int code;
        QByteArray allow;
    };
    const Case cases[] = {
        {"GET", "/api", 404, {}}, {"GET", "/api/status/", 404, {}}, {"GET", "/station.js", 404, {}},
        {"GET", "/index.html", 404, {}}, {"GET", "/%2e%2e/%2e%2e/etc/passwd", 404, {}},
        {"POST", "/api/status", 405, "GET"}, {"DELETE", "/", 405, "GET"}, {"PUT", "/api/events", 405, "GET"},
        {"FOO", "/api/records", 405, "GET"}, {"GET", "/api/pause", 405, "POST"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.method + " " + c.path).toStdString());
        const Reply reply = Call(c.method, c.path);
        EXPECT_EQ(reply.code, c.code);
        EXPECT_EQ(reply.allow, c.allow);
        EXPECT_FALSE(reply.error().isEmpty());
    }
}

} // namespace
