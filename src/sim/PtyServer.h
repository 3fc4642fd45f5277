#pragma once

#include "DeviceModel.h"

#include <QByteArray>
#include <cstdint>
#include <deque>
#include <string>

namespace vlboot::sim {

// Serves a DeviceModel on a pseudo-terminal.
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
class PtyServer {
public:
    struct Stats {
        long requests = 0;
        long bytesIn = 0;
        long bytesOut = 0;
        double wireSeconds = 0.0;
    };

    // baud 0: replies leave at once; otherwise as a `baud` line would let
    // them, plus the device's work time.
    PtyServer(DeviceModel& model, int baud);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    bool Open(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    // Serves until `stopFd` becomes readable, or until `watchFd` (when not
    // -1) reaches end of file.
    void Run(int stopFd, int watchFd);

    const Stats& Statistics() const { return stats_; }
    std::string Summary() const;

private:
    struct Outgoing {
        QByteArray bytes;
        bool chained;       // waits for the earlier bytes to be read first
        std::int64_t dueNs; // absolute when not chained, a delay when chained
    };

    void Take(const char* data, long size, std::int64_t now);
    void Schedule(std::vector<Emission> emissions, const RequestRecord& record, std::int64_t now);
    // Moves due emissions to the output; returns how long to sleep (-1: no limit).
    std::int64_t Release(std::int64_t now);
    void Flush();
    bool SlaveDrained() const;
    std::int64_t WireNs(long bytes) const;

    DeviceModel& model_;
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
