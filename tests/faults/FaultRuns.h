#pragma once

#include "CliProcesses.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <ostream>

// Texts in test failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace vlboot::faults {

// Helpers of the fault tests, which run vlboot-cli against vlboot-sim and
// then break something: the line, the device, the settings folder.

// The text after "why: " on the run's standard error ("" when none).
QString WhyLine(const cli::test::CliResult& r);

// The last line on standard output: the last status caption.
QString LastCaption(const cli::test::CliResult& r);

// Processor time (user + system) of all child processes of this test that
// have ended and been collected so far, in seconds.
double ChildrenCpuSeconds();

// A child-process setup that limits the size of every file the program
// writes to `bytes` and lets such writes fail instead of killing it: a full
// disk, and one that stops root as well.
std::function<void()> FileSizeLimit(long bytes);

// The file's bytes; empty when it cannot be read.
QByteArray ReadFileBytes(const QString& path);

// The five bytes of the fixture's serial-number record at 0x7FFB in the
// simulator's memory dump (all 0xFF when nothing was written there); empty
// when the dump is missing or not 64 KiB.
QByteArray SerialRecord(const QString& dumpDir);

// The serial number in such a record (0x0B then four bytes, most
// significant first); -1 when the record was never written.
long long SerialNumberIn(const QByteArray& record);

} // namespace vlboot::faults
