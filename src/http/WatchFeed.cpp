#include "WatchFeed.h"

#include "RecordStore.h"
#include "RunRecordJson.h"
#include "Version.h"

#include <QJsonArray>

#include "StationHttpServer.h"

namespace vlboot::http {

WatchFeed::WatchFeed(LineWatch& watch, WatchStation station)
    : watch_(watch)
    , station_(std::move(station))
{
    QObject::connect(&watch, &LineWatch::StationEvent, &context_, [this](const QJsonObject& event) {
        if (server_)
            server_->Publish(event);
    });
}

WatchFeed::~WatchFeed() = default;

QJsonObject WatchFeed::Status() const
{
    QJsonArray ports;
    for (const auto& port : watch_.Ports())
        ports.append(watch_.PortJson(*port));
    const QJsonObject firmware{{QStringLiteral("file"), station_.firmwareFile},
                               {QStringLiteral("sha256"), QString::fromLatin1(station_.firmwareSha256)},
                               {QStringLiteral("pinned"), station_.pinned}};
    const QJsonObject station{{QStringLiteral("name"), station_.name},
                              {QStringLiteral("version"), QString::fromLatin1(VersionText)},
                              {QStringLiteral("firmware"), firmware},
                              {QStringLiteral("serial_source"), station_.database.trimmed().isEmpty() ? QStringLiteral("setup.ini")
                                                                                                      : QStringLiteral("database")},
                              {QStringLiteral("paused"), watch_.Paused()}};
    return QJsonObject{{QStringLiteral("station"), station}, {QStringLiteral("ports"), ports}, {QStringLiteral("totals"), watch_.TotalsJson()}};
}

Outcome WatchFeed::Serve(const QString& endpoint, const QString& tokenSetting)
{
    server_ = std::make_unique<StationHttpServer>(*this);
    Outcome started = server_->StartAt(endpoint, tokenSetting);
    if (!started)
        server_.reset();
    return started;
}

QString WatchFeed::PageUrl() const
{
    return server_ ? server_->PageUrl() : QString();
}

void WatchFeed::Records(const RecordQuery& query, RecordsReply reply)
{
    // Read in a thread of its own: a database query never holds up the ports.
    QueryInThread(
        [station = station_, query]() -> Result<QJsonArray> {
            const auto records = ReadRecords(station.configDir, station.recordFile, station.database, query.since, query.serial);
            if (!records)
                return records.outcome();
            QJsonArray list;
            for (const RunRecord& r : *records)
                list.append(RunRecordToJson(r));
            return list;
        },
        std::move(reply));
}

void WatchFeed::Pause()
{
    watch_.SetPaused(true);
}

void WatchFeed::Resume()
{
    watch_.SetPaused(false);
}


} // namespace vlboot::http
