// The station page in a real browser: Debian's headless Chromium, driven
// over its DevTools protocol, loads the page with the station's token, shows
// a tile per port, follows a unit to its result through the event stream,
// and leaves a screenshot in the build's test-output folder.
#include "StationServerFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebSocket>

using namespace vlboot::http::test;

namespace {

// One page of a headless Chromium with a fresh profile.
class Browser {
public:
    ~Browser()
    {
        devtools_.abort();
        chromium_.kill();
        chromium_.waitForFinished(10000);
    }

    // Opens `url` in a new page; false when Chromium cannot be driven.
    bool Open(const QString& program, const QUrl& url)
    {
        chromium_.start(program, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                  "--user-data-dir=" + profile_.path(), "--remote-debugging-port=0",
                                  "--window-size=1280,860", "about:blank"});
        // It names its DevTools address on standard error when it is ready.
        QByteArray err;
        const auto address = [&] {
            const qsizetype at = err.indexOf("ws://");
            const qsizetype end = at < 0 ? -1 : err.indexOf('\n', at);
            return end < 0 ? QByteArray() : err.mid(at, end - at).trimmed();
        };
        WaitFor([&] {
            err += chromium_.readAllStandardError();
            return !address().isEmpty() || chromium_.state() == QProcess::NotRunning;
        }, 30000);
        QObject::connect(&devtools_, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            replies_[message.value("id").toInt()] = message.value("result").toObject();
        });
        devtools_.open(QUrl(QString::fromLatin1(address())));
        if (!WaitFor([&] { return devtools_.state() == QAbstractSocket::ConnectedState; }))
            return false;
        const QString target = Call("Target.createTarget", {{"url", url.toString()}}).value("targetId").toString();
        session_ = Call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}).value("sessionId").toString();
        return !session_.isEmpty();
    }

    // A DevTools command, to the page once it is open; its result.
    QJsonObject Call(const QString& method, const QJsonObject& params)
    {
        const int id = ++lastId_;
        QJsonObject command{{"id", id}, {"method", method}, {"params", params}};
        if (!session_.isEmpty())
            command.insert("sessionId", session_);
        devtools_.sendTextMessage(QJsonDocument(command).toJson(QJsonDocument::Compact));
        EXPECT_TRUE(WaitFor([&] { return replies_.contains(id); })) << method.toStdString();
        return replies_.take(id);
    }
    QString Text(const QString& expression)
    {
        return Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}})
            .value("result").toObject().value("value").toString();
    }

private:
    QTemporaryDir profile_;
    QProcess chromium_;
    QWebSocket devtools_;
    QString session_;
    int lastId_ = 0;
    QHash<int, QJsonObject> replies_;
};

// Five ports, one of each state; the second one's unit as given.
QJsonObject stationStatus(const QString& second, int passed)
{
    const QString unit = R"("unit": null, "last": {"outcome": "success", "serial_number": %1, "why": null})";
    return QJsonDocument::fromJson(QString(R"({
      "station": {"name": "line1-station2", "version": "1.0.0", "serial_source": "setup.ini", "paused": false,
                  "firmware": {"file": "/srv/firmware/module.ldr", "pinned": true,
                               "sha256": "8822b10faff08b9e2c79c484437ff6ff86a339551d20881c46150f397cc3ac49"}},
      "ports": [
        {"port": "/dev/ttyUSB0", "state": "passed", "percent": 100, %3, "passed": 4, "failed": 0},
        {"port": "/dev/ttyUSB1", %1, "passed": %2, "failed": 0},
        {"port": "/dev/ttyUSB2", "state": "failed", "percent": 41, "unit": null, "passed": 3, "failed": 1,
         "last": {"outcome": "timeout", "serial_number": null, "why": "no answer in time to the memory write"}},
        {"port": "/dev/ttyUSB3", "state": "waiting", "percent": 0, %4, "passed": 5, "failed": 0},
        {"port": "/dev/ttyUSB4", "state": "absent", "percent": 0, "unit": null, "last": null, "passed": 0, "failed": 0}],
      "totals": {"passed": %5, "failed": 1, "units_per_hour": 93.5}})")
        .arg(second).arg(passed).arg(unit.arg(1206), unit.arg(1205)).arg(12 + passed).toUtf8()).object();
}

TEST_F(StationServer, ThePageShowsATilePerPortAndFollowsAUnitToItsResult)
{
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty())
        GTEST_SKIP() << "chromium is not installed (apt-get install chromium): the page is not tried in a browser";
    feed.status = stationStatus(R"("state": "programming", "percent": 40, "last": null,
                                   "unit": {"device": "fixture", "caption": "Programming block 1"})", 0);
    Start(Token);
    Browser browser;
    ASSERT_TRUE(browser.Open(chromium, Url("/?token=" + Token)));

    const QString tiles = "[...document.querySelectorAll('.tile')].map(t => t.dataset.port + ': ' "
                          "+ t.querySelector('.state').textContent).join('; ')";
    QString seen;
    EXPECT_TRUE(WaitFor([&] { return (seen = browser.Text(tiles)).count("/dev/") == 5; }, 30000)) << seen.toStdString();
    EXPECT_EQ(seen, "/dev/ttyUSB0: ✔ Passed; /dev/ttyUSB1: Programming 40%; /dev/ttyUSB2: ✘ Failed; "
                    "/dev/ttyUSB3: Waiting; /dev/ttyUSB4: Absent");

    // The unit on the second port passes: the station's state changes, then
    // its result event comes.
    ASSERT_TRUE(WaitFor([&] { return server->EventStreamCount() == 1; }));
    feed.status = stationStatus(R"("state": "passed", "percent": 100, "unit": null,
                                   "last": {"outcome": "success", "serial_number": 1207, "why": null})", 1);
    server->Publish({{"event", "result"}, {"port", "/dev/ttyUSB1"}, {"status", 0}, {"outcome", "success"},
                     {"why", QJsonValue()}, {"serial_number", 1207}});
    const QString second = "document.querySelector('[data-port=\"/dev/ttyUSB1\"]').innerText + ' / ' "
                           "+ document.getElementById('passed').textContent";
    EXPECT_TRUE(WaitFor([&] { return (seen = browser.Text(second)).endsWith(" / 13"); })) << seen.toStdString();
    EXPECT_TRUE(seen.contains("✔ Passed") && seen.contains("Serial number 1207")) << seen.toStdString();

    const QByteArray png = QByteArray::fromBase64(
        browser.Call("Page.captureScreenshot", {{"format", "png"}}).value("data").toString().toLatin1());
    EXPECT_TRUE(png.startsWith("\x89PNG"));
    QDir().mkpath(VLBOOT_TEST_OUTPUT);
    QFile file(VLBOOT_TEST_OUTPUT "/station-page.png");
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(png) == png.size()) << file.fileName().toStdString();
}

} // namespace
