#include "EventStreams.h"

#include <QTcpSocket>
#include <algorithm>

namespace vlboot::http {

EventStreams::EventStreams(const HttpLimits& limits, QObject* parent) : QObject(parent), limits_(limits)
{
    connect(&heartbeat_, &QTimer::timeout, this, [this] { Send(QByteArrayLiteral(": heartbeat\n\n")); });
}

void EventStreams::Add(QTcpSocket* socket)
{
    streams_.push_back(socket);
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { remove(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { remove(socket); });
    if (!heartbeat_.isActive())
        heartbeat_.start(limits_.heartbeat);
}

void EventStreams::Send(const QByteArray& frame)
{
    std::vector<QTcpSocket*> behind;
    for (QTcpSocket* socket : streams_) {
        if (socket->bytesToWrite() + frame.size() > limits_.maxUnsentStreamBytes)
            behind.push_back(socket);
        else
            socket->write(frame);
    }
    // Dropped after the loop: an abort removes the stream from streams_.
    for (QTcpSocket* socket : behind)
        socket->abort();
}

void EventStreams::remove(QTcpSocket* socket)
{
    streams_.erase(std::remove(streams_.begin(), streams_.end(), socket), streams_.end());
    if (streams_.empty())
        heartbeat_.stop();
}

} // namespace vlboot::http
