#include "CliProcesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace vlboot::cli::test {
namespace {

constexpr int GuardMs = 20000;

} // namespace

QString BinaryPath(const QString& name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

Program::Program(const QString& name, const QStringList& args, std::function<void()> childSetup)
{
    if (childSetup)
        process_.setChildProcessModifier(childSetup);
    process_.start(BinaryPath(name), args);
}

CliRun::CliRun(const QStringList& args, std::function<void()> childSetup, const QByteArray& input)
    : Program(QStringLiteral("vlboot-cli"), args, std::move(childSetup))
{
    if (!input.isEmpty() && process_.waitForStarted(GuardMs)) {
        process_.write(input);
        process_.waitForBytesWritten(GuardMs);
    }
    process_.closeWriteChannel();
}

Program::~Program()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(GuardMs);
    }
}

CliResult Program::Finish(int guardMs)
{
    CliResult r;
    r.finished = process_.waitForFinished(guardMs) && process_.exitStatus() == QProcess::NormalExit;
    r.exitCode = process_.exitCode();
    r.out = out_ + process_.readAllStandardOutput();
    r.err = err_ + process_.readAllStandardError();
    return r;
}

bool Program::WaitForOutput(const QByteArray& text)
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

void Program::Signal(int signal)
{
    // An ended program has no id: kill(0) would signal the whole group.
    if (const qint64 pid = process_.processId(); pid > 0)
        ::kill(static_cast<pid_t>(pid), signal);
}

CliResult Program::Terminate()
{
    process_.terminate();
    return Finish();
}

CliResult Program::Kill()
{
    process_.kill();
    return Finish();
}

Simulator::Simulator(const QStringList& args)
    : Program(QStringLiteral("vlboot-sim"), args)
{
    // waitForReadyRead fails at once when the program never started.
    while (!process_.canReadLine() && process_.waitForReadyRead(GuardMs)) {
    }
    if (process_.canReadLine())
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    else
        ADD_FAILURE() << "vlboot-sim did not start: " << process_.readAllStandardError().toStdString();
}

QStringList CliResult::outLines() const
{
    QStringList lines = QString::fromLocal8Bit(out).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
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
    return record.size() == 5 && record.at(0) == 0x0B ? static_cast<long long>(qFromBigEndian<quint32>(record.constData() + 1)) : -1LL;
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
