#pragma once

// A station's HTTP server on loopback with a fake station behind it, and
// the clients the tests reach it with: Qt's HTTP client and a raw socket.
// Everything waits by running the event loop, which the server shares.
#include "StationHttpServer.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace vlboot::http::test {

inline const QString Token = QStringLiteral("0123456789abcdef-station");

// Runs the event loop until `done` holds or `ms` pass; whether it holds.
template <typename Done> bool WaitFor(Done done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// A station that answers from its fields and counts what it is asked.
struct FakeFeed : StationFeed {
    QJsonObject status;
    std::optional<QJsonArray> records = QJsonArray();
    QString why;
    std::optional<RecordQuery> asked;
    int pauses = 0;
    int resumes = 0;

    QJsonObject Status() const override { return status; }
    void Records(const RecordQuery& query, RecordsReply reply) override
    {
        asked = query;
        QTimer::singleShot(0, [reply, r = records, w = why] { reply(r, w); });
    }
    void Pause() override { ++pauses; }
    void Resume() override { ++resumes; }
};

struct Reply {
    int code = 0;
    QByteArray body;
    QByteArray allow;
    QString error() const { return QJsonDocument::fromJson(body).object().value("error").toString(); }
};

struct StationServer : ::testing::Test {
    FakeFeed feed;
    HttpLimits limits{.requestTimeout = std::chrono::milliseconds(1000), .heartbeat = std::chrono::milliseconds(50)};
    std::unique_ptr<StationHttpServer> server;
    QNetworkAccessManager client;

    void Start(const QString& token = {})
    {
        server = std::make_unique<StationHttpServer>(feed, limits);
        QString why;
        ASSERT_TRUE(server->Start(QHostAddress(QHostAddress::LocalHost), 0, token, why)) << why.toStdString();
    }
    QUrl Url(const QString& path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server->Port()).arg(path)); }

    Reply Call(const QByteArray& method, const QString& path, const QByteArray& authorization = {},
               const QByteArray& host = {})
    {
        QNetworkRequest request(Url(path));
        if (!authorization.isEmpty())
            request.setRawHeader("Authorization", authorization);
        if (!host.isEmpty())
            request.setRawHeader("Host", host);
        std::unique_ptr<QNetworkReply> reply(client.sendCustomRequest(request, method));
        EXPECT_TRUE(WaitFor([&] { return reply->isFinished(); })) << method.constData() << " " << path.toStdString();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                reply->rawHeader("Allow")};
    }

    // Sends `request` as it is; what came back by the end of a JSON answer
    // or the server's close, and whether the server closed.
    std::pair<QByteArray, bool> Raw(const QByteArray& request)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), server->Port());
        socket.write(request);
        QByteArray answer;
        const auto closed = [&] { return socket.state() == QAbstractSocket::UnconnectedState; };
        WaitFor([&] { return (answer += socket.readAll()).endsWith('}') || closed(); });
        return {answer, closed()};
    }
};

} // namespace vlboot::http::test
