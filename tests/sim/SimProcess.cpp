#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace vlboot::sim::test {

namespace {

constexpr int GuardMs = 10000;

} // namespace

SimProcess::SimProcess(const QStringList& args)
{
    process_.start(QStringLiteral(VLBOOT_SIM_PATH), args);
    if (!process_.waitForStarted(GuardMs))
        return;
    while (!process_.canReadLine() && process_.waitForReadyRead(GuardMs)) {
    }
    if (process_.canReadLine())
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
}

SimProcess::~SimProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(GuardMs);
    }
}

QByteArray SimProcess::Exchange(const QByteArray& frame, int replyBytes)
{
    const int fd = ::open(path_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return {};
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);

    QByteArray reply;
    if (::write(fd, frame.constData(), static_cast<size_t>(frame.size())) == frame.size()) {
        while (reply.size() < replyBytes) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, GuardMs) <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            reply.append(buffer, n);
        }
    }
    ::close(fd);
    return reply;
}

QString SimProcess::Finish()
{
    process_.waitForFinished(GuardMs);
    return QString::fromLocal8Bit(process_.readAllStandardError());
}

QString SimProcess::Terminate()
{
    process_.terminate();
    return Finish();
}

QString SimProcess::CloseInput()
{
    process_.closeWriteChannel();
    return Finish();
}

int RunSim(const QStringList& args, QByteArray* out, QByteArray* err)
{
    QProcess process;
    process.start(QStringLiteral(VLBOOT_SIM_PATH), args);
    process.closeWriteChannel();
    if (!process.waitForFinished(GuardMs)) {
        process.kill();
        process.waitForFinished(GuardMs);
        return -1;
    }
    if (out)
        *out = process.readAllStandardOutput();
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace vlboot::sim::test
