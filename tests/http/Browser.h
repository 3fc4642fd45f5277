#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>
#include <memory>

namespace vlboot::http::test {

// Debian's headless Chromium with a fresh profile, driven over DevTools (a
// WebSocket). Runs under timeout(1), so that it ends even when the test is
// killed; asked to end (SIGTERM) with the test.
class Browser {
public:
    explicit Browser(QNetworkAccessManager& client) : client_(client)
    {
        process_.start("timeout", {"300", QStandardPaths::findExecutable("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
                                   "--disable-quic", "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                   "--disable-sync", "--user-data-dir=" + profile_.path(), "--remote-debugging-port=0",
                                   "--window-size=1280,860"});
        QObject::connect(&devtools_, &QWebSocket::textMessageReceived,
                         [this](const QString& text) { reply_ = QJsonDocument::fromJson(text.toUtf8()).object(); });
    }
    ~Browser()
    {
        process_.terminate();
        process_.waitForFinished(10000);
    }
    // Opens `url` in a new page and connects to it; false when that fails.
    bool Open(const QUrl& url)
    {
        QByteArray port; // the first line of DevToolsActivePort, written once DevTools listens
        if (!QTest::qWaitFor([&] {
                QFile file(profile_.filePath("DevToolsActivePort"));
                return file.open(QIODevice::ReadOnly) && (port = file.readLine()).endsWith('\n');
            }, 30000))
            return false;
        const QUrl open("http://127.0.0.1:" + port.trimmed() + "/json/new?" + QUrl::toPercentEncoding(url.toString()));
        std::unique_ptr<QNetworkReply> page(client_.put(QNetworkRequest(open), QByteArray()));
        if (!QTest::qWaitFor([&] { return page->isFinished(); }, 30000))
            return false;
        devtools_.open(QUrl(QJsonDocument::fromJson(page->readAll())["webSocketDebuggerUrl"].toString()));
        return QTest::qWaitFor([&] { return devtools_.state() == QAbstractSocket::ConnectedState; }, 30000);
    }
    // The value of the expression `js` in the page, as text.
    QString Text(const QString& js)
    {
        return call("Runtime.evaluate", {{"expression", js}, {"returnByValue", true}}).value("result")["value"].toVariant().toString();
    }
    QByteArray Screenshot() { return QByteArray::fromBase64(call("Page.captureScreenshot", {{"format", "png"}})["data"].toString().toLatin1()); }

private:
    // One command at a time, and no DevTools events asked for: the latest message is the answer.
    QJsonObject call(const QString& method, const QJsonObject& params)
    {
        devtools_.sendTextMessage(QJsonDocument(QJsonObject{{"id", ++id_}, {"method", method}, {"params", params}}).toJson());
        EXPECT_TRUE(QTest::qWaitFor([&] { return reply_["id"].toInt() == id_; }, 30000)) << method.toStdString();
        return reply_["result"].toObject();
    }

    QNetworkAccessManager& client_;
    QTemporaryDir profile_;
    QProcess process_;
    QWebSocket devtools_;
    QJsonObject reply_;
    int id_ = 0;
};

} // namespace vlboot::http::test
