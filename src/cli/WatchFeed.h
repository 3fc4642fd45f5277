#pragma once

#include "LineWatch.h"
#include "Outcome.h"

#include <QJsonObject>
#include <QString>
#include <memory>

#if defined(VLBOOT_HAVE_HTTP)
#include "StationFeed.h"
#endif

namespace vlboot::http {
class StationHttpServer;
}

namespace vlboot::cli {

// What the station says about itself besides its ports.
struct WatchStation {
    QString name;
    QString firmwareFile;
    QByteArray firmwareSha256;
    bool pinned = false;
    QString database;   // "" for none: the serial numbers and records of setup.ini and runs.csv
    QString configDir;
    QString recordFile; // --record, "" for runs.csv
};

// A watching station as its HTTP server sees it (GET /api/status, the
// records, pause and resume), and the server itself. Where this build has
// no HTTP server, Serve says so.
class WatchFeed
#if defined(VLBOOT_HAVE_HTTP)
    : public http::StationFeed
#endif
{
public:
    WatchFeed(LineWatch& watch, WatchStation station);
    ~WatchFeed();

    // Starts the server at `endpoint` (ADDRESS:PORT), with the token of
    // HttpToken= or the environment; failed, saying why.
    Outcome Serve(const QString& endpoint, const QString& tokenSetting = {});
    QString PageUrl() const;
    // An event of the station's --json, to every open event stream.
    void Publish(const QJsonObject& event);

    QJsonObject Status() const
#if defined(VLBOOT_HAVE_HTTP)
        override
#endif
        ;
#if defined(VLBOOT_HAVE_HTTP)
    void Records(const RecordQuery& query, RecordsReply reply) override;
    void Pause() override;
    void Resume() override;
#endif

private:
    LineWatch& watch_;
    WatchStation station_;
#if defined(VLBOOT_HAVE_HTTP)
    std::unique_ptr<http::StationHttpServer> server_;
#endif
};

} // namespace vlboot::cli
