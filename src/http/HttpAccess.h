#pragma once

#include "Outcome.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QString>
#include <optional>

namespace vlboot::http {

// Who may reach a station's HTTP server: the rules that keep it safe by
// default. Plain functions of their arguments; nothing here opens a socket.

// The environment variable that holds the token; it wins over HttpToken=
// of [Production], so that a token can be kept out of setup.ini.
inline constexpr char TokenVariable[] = "VLBOOT_HTTP_TOKEN";
// A token has at least this many characters.
inline constexpr int MinTokenLength = 16;

// The token in force: the environment's VLBOOT_HTTP_TOKEN when it is set
// and not empty, else `setting` (HttpToken= of [Production]); empty: none.
QString HttpToken(const QString& setting);

// Why `token` cannot serve as a token: shorter than MinTokenLength, or a
// character other than A-Z, a-z, 0-9, '-', '.', '_' and '~' (it travels in
// a header and in the page's URL as it is). Empty when it can, or when it is
// empty (no token).
QString TokenProblem(const QString& token);

// Whether the server may listen on `address` with `token`: on any address
// beyond loopback it needs a token (a station steered from the network by
// anyone who finds it is what this prevents), and any token given must be
// usable.
Outcome ListenRefusal(const QHostAddress& address, const QString& token);

// The credential `given` (from a request) equals `token`, compared in time
// that does not depend on where they differ or on their lengths.
bool TokenMatches(QByteArrayView given, const QString& token);

// Where the server listens, as --http and Http= name it: "PORT" (loopback),
// "ADDRESS:PORT", "[IPv6]:PORT", "localhost:PORT" or "*:PORT" (every
// address). PORT is 0..65535 (0: any free one, for tests and demos); a host
// name other than localhost is refused
// (the server takes addresses, it resolves nothing). A failure naming the
// forms for anything else.
struct HttpEndpoint {
    QHostAddress address;
    quint16 port = 0;
};
Result<HttpEndpoint> ParseHttpEndpoint(const QString& text);

} // namespace vlboot::http
