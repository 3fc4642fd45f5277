#pragma once

#include "Outcome.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

namespace vlboot::http {

// What a station that watches its ports offers to the HTTP server
// (StationHttpServer): its state, its records, and pause and resume. The
// station implements it; the server calls it from the thread it runs in
// (the station's event loop), never from another thread. Events go the
// other way: the station pushes each one into StationHttpServer::Publish.
//
// Status() is called for every GET /api/status, at the start of every event
// stream and after every pause and resume, so it must be cheap (built from what the station holds in memory,
// no file or database read). Its object, served as it is, has this shape
// (every key present but "detail"; null where there is nothing):
//
//   {
//     "station": {
//       "name": "line1-station2",             Station= of [Production], else the host name
//       "version": "1.0.0",                   the program's version
//       "firmware": {
//         "file": "/srv/fw/module.ldr",       the firmware file's path
//         "sha256": "8822b1...",              its SHA-256, 64 lower-case hexadecimal digits
//         "pinned": true                      FirmwareSha256= / --expect-sha256 is set (and matches)
//       },
//       "serial_source": "setup.ini",         where fixtures' serial numbers come from: "setup.ini" or "database"
//       "paused": false                       true between POST /api/pause and POST /api/resume
//     },
//     "ports": [                              one per watched port, in the order the station names them
//       {
//         "port": "/dev/ttyUSB0",             as the station names it (the "port" of the events)
//         "state": "programming",             "waiting", "programming", "passed", "failed", "absent" or "held"
//         "percent": 42,                      0..100, the unit in progress (0 when none)
//         "unit": {                           the unit in progress, null when none
//           "device": "fixture",              "amplifier" or "fixture"
//           "caption": "Programming block 1", its latest caption
//           "started": "2025-01-15T09:12:03+01:00"
//         },
//         "last": {                           the port's last finished unit, null before the first
//           "outcome": "success",             "success", "fault", "timeout" or "stopped" (as in the result event)
//           "serial_number": 1207,            null when none was given
//           "why": null,                      the reason of a failure in one line, null on success
//           "ended": "2025-01-15T09:11:40+01:00"
//         },
//         "passed": 12, "failed": 1,          this port's units since the station started
//         "detail": "..."                     only when absent or held: why
//       }
//     ],
//     "totals": { "passed": 48, "failed": 2, "units_per_hour": 96.5 }
//   }
//
// "passed" / "failed" is the state of a port whose unit has ended and is
// still on the fixture; "absent" a port whose device has gone (unplugged),
// "held" one that another program has open, while the station keeps
// watching it.
class StationFeed {
public:
    virtual ~StationFeed() = default;

    virtual QJsonObject Status() const = 0;

    // Which records GET /api/records asks for: those whose run ended at
    // `since` or later, and (when given) those that gave out `serial`.
    struct RecordQuery {
        std::optional<QDateTime> since;
        std::optional<qint64> serial;
    };
    // The records, each an object with the fields of vlboot-cli --records
    // --json (RunRecordToJson), oldest first; or a failure saying why they
    // cannot be had (the store named, e.g. the database that does not answer).
    using RecordsReply = std::function<void(const Result<QJsonArray>& records)>;
    // Answers through `reply`, exactly once: at once, or later from the
    // server's thread (a database query belongs in a thread of its own, so
    // that the ports' event loop never waits for it: QueryInThread). A reply
    // whose client has gone meanwhile is dropped; one that takes longer than
    // HttpLimits::recordsTimeout finds its client answered with 504.
    virtual void Records(const RecordQuery& query, RecordsReply reply) = 0;

    // Stop watching for new units, and start again. Units in progress run
    // to their end either way.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
};

// Runs `query` (which may block: a file read, a database query) in a thread of Qt's global pool, and hands
// its outcome to `reply` in the calling thread, which must run an event
// loop. `query` must not touch objects of the calling thread.
void QueryInThread(std::function<Result<QJsonArray>()> query, StationFeed::RecordsReply reply);

} // namespace vlboot::http
