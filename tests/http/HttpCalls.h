#pragma once

// A station's HTTP server met as its clients meet it: Qt's HTTP client for
// well-formed requests, a raw socket for the rest. Every wait runs the
// event loop and is bounded only to catch a hang.
#include <QHostAddress>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <memory>
#include <ostream>

// JSON as JSON in test failure messages.
inline void PrintTo(const QJsonValue& value, std::ostream* os)
{
    *os << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}
inline void PrintTo(const QJsonObject& object, std::ostream* os)
{
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

namespace vlboot::http::test {

struct Answer {
    int code = 0;
    QByteArray body;
    QByteArray allow;
};

// `method` on `url`, with the Authorization and Host headers when given.
inline Answer Call(QNetworkAccessManager& client, const QByteArray& method, const QUrl& url,
                   const QByteArray& authorization = {}, const QByteArray& host = {})
{
    QNetworkRequest request(url);
    for (const auto& [name, value] : {std::pair{"Authorization", authorization}, {"Host", host}})
        if (!value.isEmpty())
            request.setRawHeader(name, value);
    std::unique_ptr<QNetworkReply> reply(client.sendCustomRequest(request, method));
    EXPECT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 30000)) << url.toString().toStdString();
    EXPECT_TRUE(reply->hasRawHeader("Content-Length")) << "a keep-alive client would wait for the close";
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), reply->rawHeader("Allow")};
}

// Sends `request` as it is to the server on loopback `port`; what came back
// by the end of a JSON answer or the server's close, and whether it closed.
inline std::pair<QByteArray, bool> Raw(quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    socket.write(request);
    QByteArray answer;
    const auto closed = [&] { return socket.state() == QAbstractSocket::UnconnectedState; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return (answer += socket.readAll()).endsWith('}') || closed(); }, 30000))
        << "no answer, no close";
    return {answer, closed()};
}

} // namespace vlboot::http::test
