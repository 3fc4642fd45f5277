#pragma once

#include <QtGlobal>
#include <chrono>

namespace vlboot::http {

// The bounds of the station's HTTP server: what one client may cost it.
// The defaults serve a line's test equipment and a few browsers; tests
// shorten the times.
struct HttpLimits {
    // A request's head (request line and header fields, line ends counted)
    // larger than this, or with more header fields, gets 431 and is closed.
    qint64 maxHeadBytes = 8 * 1024;
    int maxHeaderFields = 64;
    // A request body larger than this gets 413 and is closed (the API takes
    // no body; a few KiB leave room for clients that send an empty form).
    qint64 maxBodyBytes = 4 * 1024;
    // Connections beyond this are closed at once; event streams beyond
    // theirs get 503.
    int maxConnections = 64;
    int maxEventStreams = 32;
    // An event stream whose client leaves more than this unsent (it reads
    // too slowly, or not at all) is dropped; it can connect again.
    qint64 maxUnsentStreamBytes = 256 * 1024;
    // A connection that brings no complete request within this time of
    // opening or of its last request is closed (slow and idle clients).
    std::chrono::milliseconds requestTimeout{10'000};
    // A request for records that the station has not answered within this
    // time gets 504 (a production database takes at most 10 s to connect and
    // 20 s for a statement).
    std::chrono::milliseconds recordsTimeout{40'000};
    // A comment line on every event stream this often, so that proxies and
    // browsers keep it open when no unit comes.
    std::chrono::milliseconds heartbeat{15'000};
};

} // namespace vlboot::http
