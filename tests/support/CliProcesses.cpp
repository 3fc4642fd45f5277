#include "CliProcesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <sys/resource.h>
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

QString CliResult::why() const
{
    static const QRegularExpression line(QStringLiteral("^why: (.*)$"), QRegularExpression::MultilineOption);
    return line.match(errText()).captured(1);
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray DumpedBlock(const QString& dumpDir, int block)
{
    return ReadFileBytes(QDir(dumpDir).filePath(QStringLiteral("block-%1.bin").arg(block, 3, 10, QLatin1Char('0'))));
}

long long DumpedSerialNumber(const QString& dumpDir)
{
    const QByteArray record = ReadFileBytes(QDir(dumpDir).filePath(QStringLiteral("memory.bin"))).mid(0x7FFB, 5);
    if (record.size() != 5 || record.at(0) != 0x0B)
        return -1;
    long long serial = 0;
    for (int i = 1; i < 5; ++i)
        serial = serial << 8 | static_cast<std::uint8_t>(record.at(i));
    return serial;
}

double ChildrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::function<void()> FileSizeLimit(long bytes)
{
    // Runs between fork and exec: async-signal-safe calls only.
    return [bytes] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
}

CliResult RunCli(const QStringList& args)
{
    CliRun run(args);
    return run.Finish();
}

} // namespace vlboot::cli::test
