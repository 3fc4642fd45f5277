#include "Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace vlboot::test {
namespace {

bool waitReadable(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN);
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
    for (const int fd : {master_, slave_}) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

PtyPair::~PtyPair()
{
    if (isValid()) {
        ::close(slave_);
        ::close(master_);
    }
}

bool PtyPair::write(const QByteArray& bytes)
{
    return ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

QByteArray PtyPair::readAvailable(int waitMs)
{
    char chunk[4096];
    const ssize_t n = waitReadable(master_, waitMs) ? ::read(master_, chunk, sizeof chunk) : 0;
    return n > 0 ? QByteArray(chunk, n) : QByteArray();
}

bool PtyPair::waitSlaveInput(int waitMs)
{
    return waitReadable(slave_, waitMs);
}

} // namespace vlboot::test
