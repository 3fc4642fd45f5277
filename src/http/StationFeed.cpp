#include "StationFeed.h"

#include <QThreadPool>

namespace vlboot::http {

void QueryInThread(std::function<Result<QJsonArray>()> query, StationFeed::RecordsReply reply)
{
    // An object of the calling thread, so that the reply is queued to it.
    auto* home = new QObject;
    QThreadPool::globalInstance()->start([query = std::move(query), reply = std::move(reply), home] {
        const Result<QJsonArray> records = query();
        QMetaObject::invokeMethod(home, [reply, records, home] {
            reply(records);
            delete home;
        }, Qt::QueuedConnection);
    });
}

} // namespace vlboot::http
