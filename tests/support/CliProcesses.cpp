#include "CliProcesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <csignal>

namespace vlboot::cli::test {
namespace {

constexpr int GuardMs = 20000;

} // namespace

QString BinaryPath(const QString& name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

Simulator::Simulator(const QStringList& args)
{
    process_.start(BinaryPath(QStringLiteral("vlboot-sim")), args);
    if (!process_.waitForStarted(GuardMs))
        return;
    while (!process_.canReadLine() && process_.waitForReadyRead(GuardMs)) {
    }
    if (process_.canReadLine())
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
}

Simulator::~Simulator()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(GuardMs);
    }
}

QString Simulator::Stop()
{
    process_.terminate();
    process_.waitForFinished(GuardMs);
    return QString::fromLocal8Bit(process_.readAllStandardError());
}

void Simulator::Kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(GuardMs);
}

QStringList CliResult::outLines() const
{
    QStringList lines = QString::fromLocal8Bit(out).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

CliRun::CliRun(const QStringList& args, std::function<void()> childSetup, const QByteArray& input)
{
    if (childSetup)
        process_.setChildProcessModifier(childSetup);
    process_.start(BinaryPath(QStringLiteral("vlboot-cli")), args);
    if (!input.isEmpty() && process_.waitForStarted(GuardMs)) {
        process_.write(input);
        process_.waitForBytesWritten(GuardMs);
    }
    process_.closeWriteChannel();
}

CliRun::~CliRun()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(GuardMs);
    }
}

CliResult CliRun::Finish()
{
    CliResult r;
    r.finished = process_.waitForFinished(GuardMs) && process_.exitStatus() == QProcess::NormalExit;
    r.exitCode = process_.exitCode();
    r.out = out_ + process_.readAllStandardOutput();
    r.err = err_ + process_.readAllStandardError();
    return r;
}

bool CliRun::WaitForOutput(const QByteArray& text)
{
    // waitForReadyRead watches standard output only: both are read every
    // few milliseconds instead.
    QDeadlineTimer guard(GuardMs);
    for (;;) {
        out_ += process_.readAllStandardOutput();
        err_ += process_.readAllStandardError();
        if (out_.contains(text) || err_.contains(text))
            return true;
        if (guard.hasExpired() || process_.state() == QProcess::NotRunning)
            return false;
        process_.waitForReadyRead(5);
    }
}

void CliRun::Signal(int signal)
{
    ::kill(static_cast<pid_t>(process_.processId()), signal);
}

CliResult CliRun::Terminate()
{
    process_.terminate();
    return Finish();
}

CliResult CliRun::Kill()
{
    process_.kill();
    return Finish();
}

CliResult RunCli(const QStringList& args)
{
    CliRun run(args);
    return run.Finish();
}

} // namespace vlboot::cli::test
