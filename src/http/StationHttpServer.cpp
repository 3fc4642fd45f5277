#include "StationHttpServer.h"

#include "BoundedTcpServer.h"
#include "EventStreams.h"
#include "HttpAccess.h"

#include <QAbstractHttpServer>
#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHostInfo>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace vlboot::http {

namespace {

using Code = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

enum class Route { Page, Status, Records, Events, Pause, Resume };
struct RouteEntry {
    const char* path;
    Method method;
    Route route;
    bool tokenInQuery; // a browser's own request, which cannot carry the header
};
constexpr RouteEntry Routes[] = {
    {"/", Method::Get, Route::Page, true},
    {"/api/status", Method::Get, Route::Status, false},
    {"/api/records", Method::Get, Route::Records, false},
    {"/api/events", Method::Get, Route::Events, true},
    {"/api/pause", Method::Post, Route::Pause, false},
    {"/api/resume", Method::Post, Route::Resume, false},
};

const RouteEntry* findRoute(const QString& path)
{
    for (const RouteEntry& entry : Routes)
        if (path == QLatin1String(entry.path))
            return &entry;
    return nullptr;
}

using Headers = std::initializer_list<std::pair<QByteArray, QByteArray>>;

void send(QHttpServerResponder& r, Code code, const QByteArray& body,
          const QByteArray& type = QByteArrayLiteral("application/json"), Headers extra = {})
{
    r.writeStatusLine(code);
    r.writeHeader(QByteArrayLiteral("Content-Type"), type);
    r.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
    r.writeHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    r.writeHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    for (const auto& [name, value] : extra)
        r.writeHeader(name, value);
    r.writeBody(body);
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void fail(QHttpServerResponder& r, Code code, const QString& why, Headers extra = {})
{
    send(r, code, json({{QStringLiteral("error"), why}}), QByteArrayLiteral("application/json"), extra);
}

// Host names this machine by a loopback address or "localhost" (with or
// without a port). A request without Host (HTTP/1.0) passes: browsers
// always send it.
bool namesThisMachine(const QByteArray& host)
{
    QByteArray name = host;
    if (name.startsWith('['))
        name = name.mid(1, name.indexOf(']') - 1);
    else if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0)
        name = name.left(colon);
    return host.isEmpty() || name.compare("localhost", Qt::CaseInsensitive) == 0
        || QHostAddress(QString::fromLatin1(name)).isLoopback();
}

// A date (its day from local midnight) or an ISO 8601 date and time, as
// vlboot-cli --since takes it.
std::optional<QDateTime> parseSince(const QString& text)
{
    // (QDate reads the date at the start of a longer text too.)
    const QDate date = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
    const QDateTime time = date.isValid() ? date.startOfDay() : QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? std::optional(time) : std::nullopt;
}

Result<StationFeed::RecordQuery> recordQuery(const QUrlQuery& query)
{
    QString why;
    static const QRegularExpression wholeNumber(QStringLiteral("^[0-9]{1,10}$"));
    StationFeed::RecordQuery result;
    QStringList seen;
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (seen.contains(key))
            why = QStringLiteral("'%1' is given more than once").arg(key);
        else if (key == QLatin1String("since") && !(result.since = parseSince(value)))
            why = QStringLiteral("since '%1' is not a date (YYYY-MM-DD) or an ISO 8601 date and time").arg(value);
        else if (key == QLatin1String("serial")
                 && (!wholeNumber.match(value).hasMatch() || value.toLongLong() > 4294967295LL))
            why = QStringLiteral("serial '%1' is not a serial number (a whole number from 0 to 4294967295)").arg(value);
        else if (key != QLatin1String("since") && key != QLatin1String("serial"))
            why = QStringLiteral("unknown parameter '%1': /api/records takes since and serial").arg(key);
        if (!why.isEmpty())
            return Outcome::Failed(why);
        if (key == QLatin1String("serial"))
            result.serial = value.toLongLong();
        seen << key;
    }
    return result;
}

QByteArray resource(const QString& name)
{
    QFile file(QStringLiteral(":/vlboot/http/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray sourceHash(const QByteArray& text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

} // namespace

class StationHttpServer::Server : public QAbstractHttpServer {
public:
    Server(StationFeed& feed, const HttpLimits& limits) : feed_(feed), limits_(limits), streams_(limits, this)
    {
        // One document, its style and script inlined, so that the page is one
        // request (the token guards it as it guards the API), and a policy
        // that lets the browser run only that style and that script.
        const QByteArray style = resource(QStringLiteral("station.css"));
        const QByteArray script = resource(QStringLiteral("station.js"));
        page_ = resource(QStringLiteral("station.html"));
        page_.replace("<style></style>", "<style>" + style + "</style>");
        page_.replace("<script></script>", "<script>" + script + "</script>");
        policy_ = "default-src 'none'; connect-src 'self'; img-src 'self' data:; base-uri 'none'; "
                  "form-action 'none'; frame-ancestors 'none'; style-src "
            + sourceHash(style) + "; script-src " + sourceHash(script);
    }

    StationFeed& feed_;
    HttpLimits limits_;
    EventStreams streams_;
    QString token_;

    void Publish(const QJsonObject& event)
    {
        if (streams_.Count() > 0)
            streams_.Send("data: " + json(event) + "\n\n");
    }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

private:
    bool authorized(const QHttpServerRequest& request, const RouteEntry* entry) const;
    void records(const QHttpServerRequest& request, QHttpServerResponder& r, QTcpSocket* socket);
    void events(QHttpServerResponder& r, QTcpSocket* socket);

    QByteArray page_;
    QByteArray policy_;
};

bool StationHttpServer::Server::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    BoundedTcpServer::RequestHandled(socket);
    QHttpServerResponder r = makeResponder(request, socket);
    const QString path = request.url().path();
    const RouteEntry* entry = findRoute(path);
    if (request.method() == Method::Head) {
        // No body may follow an answer to HEAD: a client would take it for the next answer.
        r.write({{QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, POST")}}, Code::MethodNotAllowed);
        return true;
    }
    if (token_.isEmpty() && !namesThisMachine(request.value("Host"))) {
        fail(r, Code::Forbidden,
             QStringLiteral("Host '%1' is not this machine: without a token the station answers only "
                            "requests made to localhost or a loopback address")
                 .arg(QString::fromLatin1(request.value("Host"))));
        return true;
    }
    if (!token_.isEmpty() && !authorized(request, entry)) {
        fail(r, Code::Unauthorized,
             QStringLiteral("this station needs its token: send 'Authorization: Bearer TOKEN' (the page: open "
                            "/?token=TOKEN)"),
             {{QByteArrayLiteral("WWW-Authenticate"), QByteArrayLiteral("Bearer realm=\"vlboot\"")}});
        return true;
    }
    if (!entry) {
        fail(r, Code::NotFound,
             QStringLiteral("no such resource: %1 (the station serves /, /api/status, /api/records, "
                            "/api/events, /api/pause and /api/resume)")
                 .arg(path));
        return true;
    }
    const bool post = entry->method == Method::Post;
    if (request.method() != entry->method) {
        fail(r, Code::MethodNotAllowed, QStringLiteral("%1 takes %2 only").arg(path, post ? "POST" : "GET"),
             {{QByteArrayLiteral("Allow"), post ? QByteArrayLiteral("POST") : QByteArrayLiteral("GET")}});
        return true;
    }
    if (post && token_.isEmpty()) {
        fail(r, Code::Forbidden,
             QStringLiteral("%1 steers the station and needs a token: set HttpToken= in [Production] of setup.ini "
                            "or the environment variable %2, and send 'Authorization: Bearer TOKEN'")
                 .arg(path, QLatin1String(TokenVariable)));
        return true;
    }
    switch (entry->route) {
    case Route::Page:
        send(r, Code::Ok, page_, QByteArrayLiteral("text/html; charset=utf-8"),
             {{QByteArrayLiteral("Content-Security-Policy"), policy_},
              {QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer")}});
        break;
    case Route::Status:
        send(r, Code::Ok, json(feed_.Status()));
        break;
    case Route::Records:
        records(request, r, socket);
        break;
    case Route::Events:
        events(r, socket);
        break;
    case Route::Pause:
    case Route::Resume: {
        entry->route == Route::Pause ? feed_.Pause() : feed_.Resume();
        QJsonObject status = feed_.Status();
        send(r, Code::Ok, json(status));
        // Every page and test system sees the station paused or running again at once.
        status.insert(QStringLiteral("event"), QStringLiteral("status"));
        Publish(status);
        break;
    }
    }
    return true;
}

bool StationHttpServer::Server::authorized(const QHttpServerRequest& request, const RouteEntry* entry) const
{
    const QByteArray header = request.value("Authorization");
    if (!header.isEmpty())
        return header.size() > 7 && header.first(7).compare("Bearer ", Qt::CaseInsensitive) == 0
            && TokenMatches(header.mid(7).trimmed(), token_);
    const QUrlQuery query = request.query();
    return entry && entry->tokenInQuery && query.hasQueryItem(QStringLiteral("token"))
        && TokenMatches(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(), token_);
}

void StationHttpServer::Server::records(const QHttpServerRequest& request, QHttpServerResponder& r,
                                        QTcpSocket* socket)
{
    const auto query = recordQuery(request.query());
    if (!query) {
        fail(r, Code::BadRequest, query.why());
        return;
    }
    // The feed may answer later; by then the client may have gone.
    struct Pending {
        QHttpServerResponder responder;
        QPointer<QTcpSocket> socket;
        bool answered = false;
    };
    auto pending = std::make_shared<Pending>(Pending{std::move(r), socket});
    const auto answer = [pending](Code code, const QByteArray& body) {
        if (pending->answered || !pending->socket || pending->socket->state() != QAbstractSocket::ConnectedState)
            return;
        pending->answered = true;
        send(pending->responder, code, body);
        BoundedTcpServer::RequestHandled(pending->socket);
    };
    BoundedTcpServer::Waiting(socket);
    QTimer::singleShot(limits_.recordsTimeout, socket, [answer, seconds = limits_.recordsTimeout.count() / 1000.0] {
        answer(Code::GatewayTimeout,
               json({{QStringLiteral("error"), QStringLiteral("the station's records did not come within %1 s").arg(seconds)}}));
    });
    feed_.Records(*query, [answer](const Result<QJsonArray>& records) {
        answer(records ? Code::Ok : Code::ServiceUnavailable,
               records ? QJsonDocument(*records).toJson(QJsonDocument::Compact)
                       : json({{QStringLiteral("error"), records.why()}}));
    });
}

void StationHttpServer::Server::events(QHttpServerResponder& r, QTcpSocket* socket)
{
    if (streams_.Count() >= limits_.maxEventStreams) {
        fail(r, Code::ServiceUnavailable,
             QStringLiteral("the station already serves %1 event streams").arg(limits_.maxEventStreams));
        return;
    }
    r.writeStatusLine(Code::Ok);
    r.writeHeaders({{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/event-stream")},
                    {QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store")},
                    {QByteArrayLiteral("Connection"), QByteArrayLiteral("close")},
                    {QByteArrayLiteral("X-Accel-Buffering"), QByteArrayLiteral("no")}});
    // The stream's body runs until either side closes; a browser that loses
    // it connects again after two seconds. It begins with the station's
    // status, so that a client knows where the events start from.
    QJsonObject status = feed_.Status();
    status.insert(QStringLiteral("event"), QStringLiteral("status"));
    r.writeBody("retry: 2000\n\ndata: " + json(status) + "\n\n");
    BoundedTcpServer::Streaming(socket);
    streams_.Add(socket);
}

StationHttpServer::StationHttpServer(StationFeed& feed, const HttpLimits& limits)
    : limits_(limits), server_(std::make_unique<Server>(feed, limits))
{
}

StationHttpServer::~StationHttpServer() = default;

Outcome StationHttpServer::Start(const QHostAddress& address, quint16 port, const QString& token)
{
    if (!server_->servers().isEmpty())
        return Outcome::Failed(QStringLiteral("the HTTP server already listens on port %1").arg(Port()));
    if (Outcome allowed = ListenRefusal(address, token); !allowed)
        return allowed;
    auto* tcp = new BoundedTcpServer(limits_, server_.get());
    if (!tcp->listen(address, port)) {
        const QString why = QStringLiteral("the HTTP server cannot listen on %1 port %2: %3")
                                .arg(address.toString())
                                .arg(port)
                                .arg(tcp->errorString());
        delete tcp;
        return Outcome::Failed(why);
    }
    server_->bind(tcp);
    server_->token_ = token;
    return Outcome::Ok();
}

Outcome StationHttpServer::StartAt(const QString& endpoint, const QString& tokenSetting)
{
    const auto where = ParseHttpEndpoint(endpoint);
    return where ? Start(where->address, where->port, HttpToken(tokenSetting)) : where.outcome();
}

QString StationHttpServer::PageUrl() const
{
    if (server_->servers().isEmpty())
        return {};
    const QHostAddress address = server_->servers().first()->serverAddress();
    const bool every = address == QHostAddress::Any || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(every ? QHostInfo::localHostName() : address.toString());
    url.setPort(Port());
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

quint16 StationHttpServer::Port() const
{
    return server_->servers().isEmpty() ? 0 : server_->servers().first()->serverPort();
}

void StationHttpServer::Publish(const QJsonObject& event)
{
    server_->Publish(event);
}

int StationHttpServer::EventStreamCount() const
{
    return server_->streams_.Count();
}

} // namespace vlboot::http
