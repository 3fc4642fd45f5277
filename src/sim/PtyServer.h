#pragma once

#include "DeviceModel.h"

#include <QByteArray>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace vlboot::sim {

// The monotonic clock the server and the units' schedule share, in nanoseconds.
std::int64_t MonotonicNs();

// Serves the unit on the line (a DeviceModel, or nobody) on a pseudo-terminal.
//
// The program under test opens the slave side (SlavePath) and closes and
// re-opens it around every frame; the server keeps a descriptor of its own
// on the slave open all the time so that the terminal survives, and never
// reads from it. It reads and writes the master only.
//
// A reply that follows an earlier emission of the same request (the
// boot-mode frame, the pieces of a chunked reply) leaves only once the
// other side has taken the earlier bytes off the terminal, and then after
// the emission's own delay; so the two never reach the reader as one chunk.
// If nobody reads, it leaves anyway after a quarter of a second.
//
// While nobody is on the line every byte is read and dropped. A unit that
// leaves takes its replies not yet on the line with it (the bytes already
// written stay where they are), and a unit that arrives never sees bytes
// sent before it came.
class PtyServer {
public:
    struct Stats {
        long requests = 0;
        long bytesIn = 0;
        long bytesOut = 0;
        double wireSeconds = 0.0;
    };

    // Why Serve returned.
    enum class Wake {
        Stop,    // the stop descriptor became readable, the watched one ended, or the terminal failed
        Control, // the control descriptor became readable
        Turn,    // the time given came, or the unit took a request
    };

    // baud 0: replies leave at once; otherwise as a `baud` line would let
    // them, plus the device's work time.
    explicit PtyServer(int baud);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    bool Open(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    // Puts `unit` on the line (nullptr: nobody), dropping the replies of
    // the one before that have not left yet.
    void SetUnit(DeviceModel* unit);
    // Told of every request the unit on the line takes, and whether it answered.
    std::function<void(Request, bool answered)> onRequest;

    // Serves until `stopFd` becomes readable or `watchFd` reaches end of
    // file, `controlFd` becomes readable, MonotonicNs() reaches `untilNs`,
    // or the unit takes a request. A descriptor of -1 and an `untilNs` of
    // -1 are not watched.
    Wake Serve(int stopFd, int watchFd, int controlFd, std::int64_t untilNs);

    const Stats& Statistics() const { return stats_; }
    std::string Summary() const;

private:
    struct Outgoing {
        QByteArray bytes;
        bool chained;       // waits for the earlier bytes to be read first
        std::int64_t dueNs; // absolute when not chained, a delay when chained
    };

    // Returns whether the unit took a request.
    bool Take(const char* data, long size, std::int64_t now);
    void Schedule(std::vector<Emission> emissions, const RequestRecord& record, std::int64_t now);
    // Moves due emissions to the output; returns how long to sleep (-1: no limit).
    std::int64_t Release(std::int64_t now);
    void Flush();
    bool SlaveDrained() const;
    std::int64_t WireNs(long bytes) const;

    DeviceModel* unit_ = nullptr;
    int baud_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::deque<Outgoing> queue_;
    QByteArray output_;
    std::int64_t drainSince_ = -1;
    Stats stats_;
};

} // namespace vlboot::sim
