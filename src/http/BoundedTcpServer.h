#pragma once

#include "HttpLimits.h"

#include <QTcpServer>

class QTcpSocket;

namespace vlboot::http {

// The listening socket of the station's HTTP server (handed to
// QAbstractHttpServer::bind), which bounds what a client can make the server
// hold before Qt's HTTP parser takes a request: Qt 6.4's parser keeps every
// byte of a request in memory until it is complete and never closes an idle
// connection, so the bounds are kept here, on each connection's readyRead,
// which this class connects before the parser does and so sees first.
//
// A request's bytes are counted from the moment the parser has no request
// open (its read transaction on the socket is closed): the head up to its
// empty line (bytes and lines), then the body. A request beyond a bound of
// HttpLimits is cut from the parser, answered with 431 or 413 and
// "Connection: close", and its connection closed once the answer is out
// (what the client still sends meanwhile is read and dropped, so that it
// can read the answer). Requests pipelined into one read count together.
//
// Every connection must complete a request within requestTimeout of its
// opening and of its last answer (RequestHandled), else it is closed; one
// whose answer is on its way (Waiting) or that carries an event stream
// (Streaming) has no time-out. Connections beyond
// maxConnections are closed as they come. Nothing here waits: all runs from
// the event loop of the thread that owns the server.
class BoundedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    // `parser`: the HTTP server whose readyRead connections to a socket are
    // cut when its request breaks a bound.
    BoundedTcpServer(const HttpLimits& limits, QObject* parser, QObject* parent = nullptr);

    // A request on `socket` has been answered: its time-out starts again.
    static void RequestHandled(QTcpSocket* socket);
    // The answer to the request on `socket` comes later (RequestHandled
    // then): no time-out meanwhile.
    static void Waiting(QTcpSocket* socket);
    // `socket` carries an event stream from now on: no time-out, no more
    // requests (anything the client sends is read and dropped, and more
    // than a body's bound of it closes the stream).
    static void Streaming(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr handle) override;

private:
    HttpLimits limits_;
    QObject* parser_;
    int connections_ = 0;
};

} // namespace vlboot::http
