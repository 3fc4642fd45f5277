#include "StationFeed.h"

#include <QThreadPool>

namespace vlboot::http {

void QueryInThread(std::function<std::optional<QJsonArray>(QString& why)> query, StationFeed::RecordsReply reply)
{
    // An object of the calling thread, so that the reply is queued to it.
    auto* home = new QObject;
    QThreadPool::globalInstance()->start([query = std::move(query), reply = std::move(reply), home] {
        QString why;
        const std::optional<QJsonArray> records = query(why);
        QMetaObject::invokeMethod(home, [reply, records, why, home] {
            reply(records, why);
            delete home;
        }, Qt::QueuedConnection);
    });
}

} // namespace vlboot::http
