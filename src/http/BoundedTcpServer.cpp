#include "BoundedTcpServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

namespace vlboot::http {

namespace {

// How long a refused connection stays open for its client to read the
// answer, reading and dropping what it still sends.
constexpr std::chrono::milliseconds RefusedLinger{2000};

// The bytes of the request in progress on one connection.
struct RequestBytes {
    qint64 head = 0;
    int lines = 0;
    qint64 lineLength = 0; // of the line in progress, its CR not counted
    bool inBody = false;
    qint64 body = 0;
};

// Adds `arrived` bytes to `r`, of which `fresh` holds those that may belong
// to the head; the status a request that has grown this far gets (431,
// 413), or 0 while it is within bounds.
int countRequest(RequestBytes& r, QByteArrayView fresh, qint64 arrived, const HttpLimits& limits)
{
    qsizetype i = 0;
    for (; i < fresh.size() && !r.inBody; ++i) {
        ++r.head;
        const char c = fresh[i];
        if (c == '\n') {
            r.inBody = r.lineLength == 0 && r.lines > 0; // the empty line ends the head
            r.lines += r.inBody ? 0 : 1;
            r.lineLength = 0;
        } else if (c != '\r') {
            ++r.lineLength;
        }
    }
    r.body += arrived - i;
    // The request line is not a header field.
    if (r.head > limits.maxHeadBytes || r.lines > limits.maxHeaderFields + 1)
        return 431;
    return r.body > limits.maxBodyBytes ? 413 : 0;
}

} // namespace

// The bounds and the time-out of one connection, a child of its socket.
class ConnectionWatch : public QObject {
    Q_OBJECT
public:
    ConnectionWatch(QTcpSocket* socket, const HttpLimits& limits, QObject* parser)
        : QObject(socket), socket_(socket), limits_(limits), parser_(parser)
    {
        connect(socket, &QIODevice::readyRead, this, &ConnectionWatch::arrived);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, socket, &QAbstractSocket::abort);
        timer_.start(limits.requestTimeout);
    }

    void RequestHandled() { timer_.start(limits_.requestTimeout); }
    void Waiting() { timer_.stop(); }
    void Streaming()
    {
        streaming_ = true;
        timer_.stop();
        QObject::disconnect(socket_, &QIODevice::readyRead, parser_, nullptr);
    }

private:
    void arrived()
    {
        if (streaming_ || refused_) {
            dropped_ += socket_->skip(socket_->bytesAvailable());
            if (streaming_ && dropped_ > limits_.maxBodyBytes)
                socket_->abort();
            return;
        }
        if (!socket_->isTransactionStarted())
            request_ = {}; // the parser has no request open: a new one begins
        const qint64 bytes = socket_->bytesAvailable();
        const int status = countRequest(request_, request_.inBody ? QByteArray() : socket_->peek(bytes), bytes, limits_);
        if (status == 431)
            refuse("431 Request Header Fields Too Large",
                   QStringLiteral("the request's head is larger than %1 bytes or has more than %2 header fields")
                       .arg(limits_.maxHeadBytes)
                       .arg(limits_.maxHeaderFields));
        else if (status == 413)
            refuse("413 Payload Too Large",
                   QStringLiteral("the request's body is larger than %1 bytes").arg(limits_.maxBodyBytes));
    }

    // Cuts the request from the parser, answers it and closes the
    // connection after a linger in which the client can read the answer.
    void refuse(const char* status, const QString& why)
    {
        refused_ = true;
        QObject::disconnect(socket_, &QIODevice::readyRead, parser_, nullptr);
        if (socket_->isTransactionStarted())
            socket_->commitTransaction();
        socket_->skip(socket_->bytesAvailable());
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("error"), why}}).toJson(QJsonDocument::Compact);
        socket_->write(QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: application/json\r\nContent-Length: "
                       + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        timer_.start(RefusedLinger);
    }

    QTcpSocket* socket_;
    HttpLimits limits_;
    QObject* parser_;
    QTimer timer_;
    RequestBytes request_;
    bool streaming_ = false;
    bool refused_ = false;
    qint64 dropped_ = 0;
};

BoundedTcpServer::BoundedTcpServer(const HttpLimits& limits, QObject* parser, QObject* parent)
    : QTcpServer(parent), limits_(limits), parser_(parser)
{
}

void BoundedTcpServer::RequestHandled(QTcpSocket* socket)
{
    if (auto* watch = socket->findChild<ConnectionWatch*>(QString(), Qt::FindDirectChildrenOnly))
        watch->RequestHandled();
}

void BoundedTcpServer::Waiting(QTcpSocket* socket)
{
    if (auto* watch = socket->findChild<ConnectionWatch*>(QString(), Qt::FindDirectChildrenOnly))
        watch->Waiting();
}

void BoundedTcpServer::Streaming(QTcpSocket* socket)
{
    if (auto* watch = socket->findChild<ConnectionWatch*>(QString(), Qt::FindDirectChildrenOnly))
        watch->Streaming();
}

void BoundedTcpServer::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle) || connections_ >= limits_.maxConnections) {
        socket->abort();
        delete socket;
        return;
    }
    ++connections_;
    connect(socket, &QObject::destroyed, this, [this] { --connections_; });
    // Room for the largest request within bounds; the parser keeps a
    // request's bytes in this buffer until the request is complete.
    socket->setReadBufferSize(limits_.maxHeadBytes + limits_.maxBodyBytes + 1024);
    // Connected before the parser's readyRead (QAbstractHttpServer connects
    // when it takes the pending connection), so it sees every byte first.
    new ConnectionWatch(socket, limits_, parser_);
    addPendingConnection(socket);
}

} // namespace vlboot::http

#include "BoundedTcpServer.moc"
