#pragma once

#include "LineWatch.h"
#include "Outcome.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <memory>

#include "StationFeed.h"

namespace vlboot::http {

class StationHttpServer;

// A watching station (vlboot-cli --watch, the production window) as its
// HTTP server sees it (GET /api/status, the records, pause and resume, the
// station's events to every open event stream), and the server itself.
class WatchFeed : public StationFeed {
public:
    WatchFeed(LineWatch& watch, WatchStation station);
    ~WatchFeed();

    // Starts the server at `endpoint` (ADDRESS:PORT), with the token of
    // HttpToken= or the environment; failed, saying why.
    Outcome Serve(const QString& endpoint, const QString& tokenSetting = {});
    QString PageUrl() const;

    QJsonObject Status() const override;
    void Records(const RecordQuery& query, RecordsReply reply) override;
    void Pause() override;
    void Resume() override;

private:
    LineWatch& watch_;
    WatchStation station_;
    std::unique_ptr<StationHttpServer> server_;
    QObject context_; // the events' connection ends with the feed
};

} // namespace vlboot::http
