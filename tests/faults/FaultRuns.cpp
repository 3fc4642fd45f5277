#include "FaultRuns.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <csignal>
#include <sys/resource.h>

namespace vlboot::faults {

QString WhyLine(const cli::test::CliResult& r)
{
    static const QRegularExpression why(QStringLiteral("^why: (.*)$"), QRegularExpression::MultilineOption);
    return why.match(r.errText()).captured(1);
}

QString LastCaption(const cli::test::CliResult& r)
{
    const QStringList lines = r.outLines();
    return lines.isEmpty() ? QString() : lines.constLast();
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

QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray SerialRecord(const QString& dumpDir)
{
    const QByteArray memory = ReadFileBytes(QDir(dumpDir).filePath(QStringLiteral("memory.bin")));
    if (memory.size() != 65536)
        return {};
    return memory.mid(0x7FFB, 5);
}

long long SerialNumberIn(const QByteArray& record)
{
    if (record.size() != 5 || static_cast<std::uint8_t>(record.at(0)) != 0x0B)
        return -1;
    long long serial = 0;
    for (int i = 1; i < 5; ++i)
        serial = serial << 8 | static_cast<std::uint8_t>(record.at(i));
    return serial;
}

} // namespace vlboot::faults
