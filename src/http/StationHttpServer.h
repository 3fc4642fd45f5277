#pragma once

#include "HttpLimits.h"
#include "StationFeed.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QString>
#include <memory>

namespace vlboot::http {

// A station's HTTP server: its state, records and events for a line's test
// equipment, pause and resume, and a page for a supervisor's screen.
//
//   GET  /               the page (HTML, its style and script inlined, from
//                        the program's own resources; nothing else is ever
//                        served, and nothing by file path)
//   GET  /api/status     StationFeed::Status() as JSON
//   GET  /api/records    ?since=YYYY-MM-DD or an ISO 8601 date and time,
//                        ?serial=N (0..4294967295): a JSON array of records;
//                        400 for a bad or unknown parameter, 503 with the
//                        store's reason when the records cannot be had, 504
//                        when they do not come within recordsTimeout
//   GET  /api/events     Server-Sent Events: "data: {json}\n\n", first the
//                        status with "event": "status", then every event
//                        published, ": heartbeat" comments between
//   POST /api/pause      StationFeed::Pause(), then the status as JSON (and
//                        as a "status" event to every event stream)
//   POST /api/resume     StationFeed::Resume(), then the status likewise
//
// Any other path is 404, another method on these paths 405 (with Allow).
// Errors are {"error": "..."} with a status from 400 on.
//
// Who may ask (HttpAccess.h): without a token the server listens on
// loopback only, answers only requests whose Host is this machine (so that
// no web page can reach it through a name of its own), and refuses every
// POST with 403. With a token every request needs "Authorization: Bearer
// TOKEN", else 401; GET / and GET /api/events also take it as ?token=TOKEN
// (a browser's address bar and EventSource cannot send the header).
//
// The bounds of HttpLimits hold for every connection (BoundedTcpServer,
// EventStreams). Everything runs in the event loop of the thread that makes
// the server, which must be the station's; no call waits for a client.
class StationHttpServer {
public:
    explicit StationHttpServer(StationFeed& feed, const HttpLimits& limits = {});
    ~StationHttpServer();
    StationHttpServer(const StationHttpServer&) = delete;
    StationHttpServer& operator=(const StationHttpServer&) = delete;

    // Listens on `address` and `port` (0: a free port, see Port()) with
    // `token` (empty: none). Fails, saying why, when ListenRefusal refuses,
    // the address cannot be had, or the server already listens.
    Outcome Start(const QHostAddress& address, quint16 port, const QString& token);
    // Start as --http and Http= of [Production] name it, the same for every
    // front end: `endpoint` as ParseHttpEndpoint reads it, the token
    // HttpToken(`tokenSetting`) (HttpToken= of [Production], or the
    // environment). Fails as Start does, or with the endpoint's form.
    Outcome StartAt(const QString& endpoint, const QString& tokenSetting);
    // The port it listens on; 0 before a successful Start.
    quint16 Port() const;
    // Where a person opens the page, for the front end to say: its address
    // and port, or this machine's name when it listens on every address (a
    // token goes after it as ?token=TOKEN). Empty before Start.
    QString PageUrl() const;

    // Sends `event` (an object of vlboot-cli --json, with its "port") to
    // every open event stream at once. Costs nothing without streams.
    void Publish(const QJsonObject& event);
    int EventStreamCount() const;

private:
    class Server;
    HttpLimits limits_;
    std::unique_ptr<Server> server_;
};

} // namespace vlboot::http
