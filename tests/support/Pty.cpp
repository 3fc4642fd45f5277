#include "Pty.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace vlboot::test {
namespace {

void makeRaw(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return;
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
}

bool waitReadable(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, waitMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & POLLIN);
}

} // namespace

PtyPair::PtyPair()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    makeRaw(slave_);
    makeRaw(master_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

bool PtyPair::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

QByteArray PtyPair::readAvailable(int waitMs)
{
    QByteArray out;
    if (!waitReadable(master_, waitMs))
        return out;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0)
            out.append(chunk, n);
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return out;
}

QByteArray PtyPair::readAtLeast(int count, int waitMs)
{
    QDeadlineTimer deadline(waitMs);
    QByteArray out;
    while (out.size() < count && !deadline.hasExpired())
        out += readAvailable(static_cast<int>(deadline.remainingTime()));
    return out;
}

bool PtyPair::waitSlaveInput(int waitMs)
{
    return waitReadable(slave_, waitMs);
}

} // namespace vlboot::test
