#pragma once

#include "HttpLimits.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <vector>

class QTcpSocket;

namespace vlboot::http {

// The open event streams (GET /api/events) of the station's HTTP server,
// and the fan-out of each event to all of them at once. Each event is
// framed once ("data: {json}\n\n", Server-Sent Events) and the same bytes
// are queued on every stream's socket; nothing waits for a client. A stream
// whose client leaves more than maxUnsentStreamBytes unsent is dropped, so a
// slow or stopped reader costs a bounded amount of memory. Every heartbeat
// interval a comment line (": heartbeat") goes to all streams. Runs in the
// thread that owns the sockets.
class EventStreams : public QObject {
    Q_OBJECT
public:
    explicit EventStreams(const HttpLimits& limits, QObject* parent = nullptr);

    // `socket` has had its response head; it gets every event from now on
    // until its client goes, or it falls behind.
    void Add(QTcpSocket* socket);
    int Count() const { return static_cast<int>(streams_.size()); }
    // Queues `frame` (whole Server-Sent Events lines) on every stream.
    void Send(const QByteArray& frame);

private:
    void remove(QTcpSocket* socket);

    HttpLimits limits_;
    std::vector<QTcpSocket*> streams_;
    QTimer heartbeat_;
};

} // namespace vlboot::http
