#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace vlboot::cli::test {

struct CliResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QStringList outLines() const;
    QString errText() const { return QString::fromLocal8Bit(err); }
    // The text after "why: " on standard error ("" when none).
    QString why() const;
    // The last line on standard output: the last caption.
    QString lastCaption() const { return outLines().isEmpty() ? QString() : outLines().constLast(); }
};

// A program from the folder of the test program, started at once and
// killed by the destructor if it still runs. Every wait is bounded only to
// catch a hang.
class Program {
public:
    // `childSetup` runs in the new process just before the program starts
    // (for resource limits and signal dispositions).
    Program(const QString& name, const QStringList& args, std::function<void()> childSetup = {});
    ~Program();
    // Waits for the end (at most `guardMs`); what it wrote.
    CliResult Finish(int guardMs = 20000);
    // Waits until standard output or standard error holds `text` (false
    // when the program ended or nothing came).
    bool WaitForOutput(const QByteArray& text);
    void Signal(int signal);
    // Closes its standard input, as the end of the program that started it does.
    void CloseInput() { process_.closeWriteChannel(); }
    // SIGTERM, then Finish().
    CliResult Terminate();
    // SIGKILL, as a crash or a pulled plug would end it, then Finish().
    CliResult Kill();
    qint64 Pid() const { return process_.processId(); }

protected:
    QProcess process_;
    QByteArray out_;
    QByteArray err_;
};

// A vlboot-cli run; `input` is all its standard input (a pipe) carries.
struct CliRun : Program {
    explicit CliRun(const QStringList& args, std::function<void()> childSetup = {}, const QByteArray& input = {});
};

// The simulator on its pseudo-terminal (a test failure when it does not
// start). Stop() ends it with SIGTERM (its dumps are written then); Kill()
// leaves no dump, and its terminal goes.
class Simulator : public Program {
public:
    explicit Simulator(const QStringList& args);
    const QString& TerminalPath() const { return path_; }
    void Stop() { Terminate(); }

private:
    QString path_;
};

// Runs vlboot-cli to its end.
CliResult RunCli(const QStringList& args);

QString BinaryPath(const QString& name);

// The file's bytes; empty when it cannot be read.
QByteArray ReadFileBytes(const QString& path);

// The flash block the simulator dumped into `dumpDir` (empty when none).
QByteArray DumpedBlock(const QString& dumpDir, int block);

// The serial number in the fixture's memory dump in `dumpDir` (the record
// 0x0B and four bytes, most significant first, at 0x7FFB); -1 when it was
// never written or there is no dump.
long long DumpedSerialNumber(const QString& dumpDir);

// Processor time (user + system) of the child processes that have ended
// and been collected so far, in seconds.
double ChildrenCpuSeconds();

// A child-process setup that limits the size of every file the program
// writes to `bytes` and lets such writes fail instead of killing it: a full
// disk, and one that stops root as well.
std::function<void()> FileSizeLimit(long bytes);

} // namespace vlboot::cli::test
