#include "PtyServer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vlboot::sim {

namespace {

constexpr std::int64_t NsPerMs = 1000000;
constexpr std::int64_t DrainCapNs = 250 * NsPerMs;
constexpr std::int64_t DrainPollNs = NsPerMs / 2;
// Bytes written to the master reach the slave's input queue a moment later
// (the kernel hands them over in the background); until then the queue
// looks empty although the reader has not taken them. The drain check only
// counts once this long has passed since the earlier bytes were queued.
constexpr std::int64_t SettleNs = 10 * NsPerMs;

bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

std::int64_t MonotonicNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

PtyServer::PtyServer(int baud)
    : baud_(baud)
{
}

PtyServer::~PtyServer()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyServer::Open(std::string& error)
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    if (!makeRaw(slave_) || !makeRaw(master_)) {
        error = std::string("cannot set the pseudo-terminal raw: ") + std::strerror(errno);
        return false;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    return true;
}

std::int64_t PtyServer::WireNs(long bytes) const
{
    return baud_ > 0 ? bytes * 10 * 1000000000LL / baud_ : 0;
}

void PtyServer::SetUnit(DeviceModel* unit)
{
    unit_ = unit;
    queue_.clear();
    output_.clear();
    drainSince_ = -1;
    if (unit_ == nullptr || master_ < 0)
        return;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(master_, buffer, sizeof buffer)) > 0)
        stats_.bytesIn += n; // sent before the unit arrived: nobody heard it
}

bool PtyServer::Take(const char* data, long size, std::int64_t now)
{
    stats_.bytesIn += size;
    if (unit_ == nullptr)
        return false;
    bool took = false;
    // Byte by byte, so that each reply is paced by its own request.
    for (long i = 0; i < size; ++i) {
        const std::size_t before = unit_->Requests().size();
        std::vector<Emission> emissions = unit_->Receive(QByteArrayView(data + i, 1));
        if (unit_->Requests().size() == before)
            continue;
        took = true;
        const bool answered = !emissions.empty();
        Schedule(std::move(emissions), unit_->Requests().back(), now);
        if (onRequest)
            onRequest(unit_->Requests().back().request, answered);
    }
    return took;
}

void PtyServer::Schedule(std::vector<Emission> emissions, const RequestRecord& record, std::int64_t now)
{
    ++stats_.requests;
    const long requestBytes = static_cast<long>(record.frame.size());
    const std::int64_t workNs = baud_ > 0 ? unit_->WorkTimeMs(record.request) * NsPerMs : 0;
    long replyBytes = 0;
    for (const Emission& e : emissions)
        replyBytes += static_cast<long>(e.bytes.size());
    if (baud_ > 0)
        stats_.wireSeconds += (WireNs(requestBytes + replyBytes) + workNs) / 1e9;

    bool first = true;
    for (Emission& e : emissions) {
        const long size = static_cast<long>(e.bytes.size());
        const std::int64_t delay = e.delayMs * NsPerMs;
        if (first)
            queue_.push_back({std::move(e.bytes), false, now + delay + workNs + WireNs(requestBytes + size)});
        else
            queue_.push_back({std::move(e.bytes), true, delay + WireNs(size)});
        first = false;
    }
}

bool PtyServer::SlaveDrained() const
{
    int waiting = 0;
    if (::ioctl(slave_, FIONREAD, &waiting) != 0)
        return true;
    return output_.isEmpty() && waiting == 0;
}

std::int64_t PtyServer::Release(std::int64_t now)
{
    while (!queue_.empty()) {
        Outgoing& next = queue_.front();
        if (next.chained) {
            if (drainSince_ < 0)
                drainSince_ = now;
            const std::int64_t waited = now - drainSince_;
            if (waited < SettleNs || (!SlaveDrained() && waited < DrainCapNs))
                return DrainPollNs;
            drainSince_ = -1;
            next.chained = false;
            next.dueNs += now;
        }
        if (next.dueNs > now)
            return next.dueNs - now;
        output_.append(next.bytes);
        queue_.pop_front();
    }
    return -1;
}

void PtyServer::Flush()
{
    while (!output_.isEmpty()) {
        const ssize_t n = ::write(master_, output_.constData(), static_cast<size_t>(output_.size()));
        if (n <= 0)
            return; // full (or interrupted): wait for POLLOUT
        stats_.bytesOut += n;
        output_.remove(0, n);
    }
}

PtyServer::Wake PtyServer::Serve(int stopFd, int watchFd, int controlFd, std::int64_t untilNs)
{
    char buffer[4096];
    for (;;) {
        const std::int64_t now = MonotonicNs();
        if (untilNs >= 0 && now >= untilNs)
            return Wake::Turn;
        std::int64_t sleepNs = Release(now);
        Flush();
        if (untilNs >= 0 && (sleepNs < 0 || untilNs - now < sleepNs))
            sleepNs = untilNs - now;

        pollfd fds[4] = {
            {master_, short(POLLIN | (output_.isEmpty() ? 0 : POLLOUT)), 0},
            {stopFd, POLLIN, 0},
            {watchFd, POLLIN, 0},
            {controlFd, POLLIN, 0},
        };
        timespec timeout{sleepNs / 1000000000, sleepNs % 1000000000};
        const int ready = ::ppoll(fds, 4, sleepNs >= 0 ? &timeout : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("vlboot-sim: poll");
            return Wake::Stop;
        }
        if (fds[1].revents != 0)
            return Wake::Stop;
        if (fds[2].revents != 0) {
            const ssize_t n = ::read(watchFd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return Wake::Stop;
        }
        if (fds[3].revents != 0)
            return Wake::Control;
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            std::fprintf(stderr, "vlboot-sim: the pseudo-terminal failed\n");
            return Wake::Stop;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0 && Take(buffer, static_cast<long>(n), MonotonicNs()))
                return Wake::Turn;
        }
    }
}

std::string PtyServer::Summary() const
{
    char text[256];
    if (baud_ > 0)
        std::snprintf(text, sizeof text, "vlboot-sim: requests %ld, bytes in %ld, bytes out %ld, wire time %.3f s at %d baud",
                      stats_.requests, stats_.bytesIn, stats_.bytesOut, stats_.wireSeconds, baud_);
    else
        std::snprintf(text, sizeof text, "vlboot-sim: requests %ld, bytes in %ld, bytes out %ld, unpaced",
                      stats_.requests, stats_.bytesIn, stats_.bytesOut);
    return text;
}

} // namespace vlboot::sim
