#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vlboot::sim::test {

// vlboot-sim started as a separate process, and the far end of its
// pseudo-terminal opened the way a serial port is: raw, 8 bits, and closed
// again after every exchange. Waits are bounded only to catch a hang.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args);
    ~SimProcess();

    bool Started() const { return !path_.isEmpty(); }
    const QString& TerminalPath() const { return path_; }
    // Opens the terminal, writes the frame, reads until `replyBytes` bytes
    // came (or nothing more comes for a while), closes the terminal.
    QByteArray Exchange(const QByteArray& frame, int replyBytes);
    // Sends SIGTERM and waits for the end; the standard error text.
    QString Terminate();
    // Closes the standard input and waits for the end; the standard error text.
    QString CloseInput();
    int ExitCode() const { return process_.exitCode(); }
    bool ExitedNormally() const { return process_.exitStatus() == QProcess::NormalExit; }

private:
    QString Finish();

    QProcess process_;
    QString path_;
};

// Runs vlboot-sim to its end with the given arguments; exit code, and the
// standard output and error.
int RunSim(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr);

} // namespace vlboot::sim::test
