#pragma once

#include "Outcome.h"

#include <QByteArray>
#include <QString>
#include <optional>

class QDateTime;
class QFile;
class QProcess;

namespace vlboot::platform {

// Everything of files, terminals and processes that differs between
// operating systems: PlatformFiles.cpp and PlatformProcesses.cpp (the
// serial device has its own files in src/serial: PlatformSerial.cpp,
// SerialPortPosix.cpp + DeviceLockPosix.cpp and SerialPortWin.cpp).

// Opens `path` for reading, unbuffered, when it names a regular file
// (symbolic links followed). A pipe, FIFO, device, socket or folder is
// refused without blocking (a FIFO without a writer would block an ordinary
// open for ever), saying what it is, or why the open failed.
Outcome OpenRegularFile(QFile& file, const QString& path);
// The whole content of the regular file `path` (symbolic links followed);
// a missing file reads as empty. Anything but a regular file is refused
// without blocking and without being opened, saying what it is ("is a pipe
// or FIFO, not a regular file").
Result<QByteArray> ReadWholeFile(const QString& path);
// Appends `bytes` to the regular file `path` (made when missing) in one
// write, without a lock or a sync (a log's line); refused without blocking
// when it is no regular file. Fails, saying why, when not all were written.
Outcome AppendBytes(const QString& path, const QByteArray& bytes);
// What `path` is when it is there but no regular file ("a pipe or FIFO",
// "a device", "a socket", "a folder"); "" for a regular file or nothing.
// Symbolic links are followed.
QString NonRegularKind(const QString& path);

// What identifies one version of an open file: the file itself and the
// times of its last change. Any write to it changes the change time, which
// no program can set back.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modifiedNs = 0;
    long long changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(const QFile& openFile);

// Makes a rename or a new file in `folder` durable (the folder's own entry
// list is synced). False when that cannot be done; where the system has no
// such thing it does nothing and gives true.
bool SyncFolder(const QString& folder);
// Appends `line` to the file `path` (made when missing) in one write, with
// `header` in front of it in the same write when the file is empty, under
// an exclusive lock of the file (waited for at most AppendLockTimeoutMs; a
// stop signal ends the wait), so that programs appending at the same time
// never interleave; then syncs the file (and its folder when it was made).
// A write that could not be completed is cut back off, so the file only
// ever holds whole lines; a last line without its line end (edited by hand)
// is ended first. A file that does not begin with `header` (other columns)
// is kept under AsideName and a new one begun, with a note saying so. The
// file must be a regular file (a FIFO is refused without blocking).
Outcome AppendWhole(const QString& path, const QByteArray& header, const QByteArray& line);
inline constexpr int AppendLockTimeoutMs = 20000;
// "runs-until-20261206-083909.csv" beside "runs.csv".
QString AsideName(const QString& path, const QDateTime& now);
// True when this user may open `path` for reading and writing.
bool CanReadWrite(const QString& path);

// Stop signals (SIGINT, SIGTERM, SIGHUP) are noted, not acted on: their handler
// writes one byte into a pipe whose read end the program watches in its
// event loop (a QSocketNotifier) or its poll loop. SIGPIPE is ignored, so
// that a program goes on when the reader of its output goes away. Returns
// the pipe's read end, or -1 when there is none (the signals then keep
// their default action).
int InstallStopSignals();
// The first stop signal received, 0 before any.
int StopSignalReceived();
// Takes the bytes out of the pipe once its read end was reported readable.
void DrainStopSignals();
// The exit status of a program ended by `signal`: 128 + its number.
int ExitStatusOfSignal(int signal);
// "SIGINT", "SIGTERM", "SIGHUP".
QString SignalName(int signal);

// Sends `signal` to the process `pid` (a stop passed on to a child).
void SendSignal(qint64 pid, int signal);
// Makes the child process `child` starts run in a process group of its
// own, so that a terminal's Ctrl+C reaches only the parent, which passes
// the stop on. Call before starting it.
void StartInOwnProcessGroup(QProcess& child);

// Writes all of `bytes` to standard output or standard error at once
// (unbuffered). A closed pipe or a full disk loses them; the program goes on.
void WriteStandardOutput(const QByteArray& bytes);
// Why a write to standard output failed ("No space left on device"), the
// first time one did; "" while every write went through.
QString StandardOutputFailure();
void WriteStandardError(const QByteArray& bytes);
bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();
// The width and height of the terminal of standard error, 0 when it is
// none or unknown.
int StandardErrorColumns();
int StandardErrorRows();

// Whether every one of the program's arguments is text in the system's
// encoding. Failed for the first that is not (a file name in another
// encoding than UTF-8), its bytes beyond ASCII shown as \xNN: Qt would read
// such a name with replacement characters, and no file has that name.
// (Windows hands programs their arguments as text.)
Outcome ArgumentsAreText(int argc, char** argv);

} // namespace vlboot::platform
