#pragma once

#include <QByteArray>
#include <functional>

namespace vlboot::cli {

// SIGINT and SIGTERM end the program promptly with exit status 130 or 143.
//
// The handler itself only writes a byte into a pipe; the event loop, which
// every reply wait of a run keeps going, picks it up, runs the clean-up set
// with SetStopCleanup (the run closes its port, which also removes the
// port's lock file), ends an unfinished progress-bar line on standard error
// and calls _exit. Ending from the event loop, never in the middle of an
// open, leaves no half-made lock file behind that would keep the port
// "already open" for the next run. A second signal, or one that arrives
// before the event loop is ready, ends the program at once.
//
// Whatever the moment: settings writes replace setup.ini whole, a
// serial-number lock left behind is taken over by the next run, and each
// Log.txt line is on disk as soon as it is written. A run cut short leaves
// the device in boot mode; the next run starts again at detection.
//
// SIGPIPE is ignored, so that a run goes on when the program reading its
// output goes away.
void InstallSignalHandlers();

// Hands the stop signals to the event loop (needs the QCoreApplication).
void HandleStopSignalsInEventLoop();

// What to do before ending on a stop signal; {} for nothing.
void SetStopCleanup(std::function<void()> cleanUp);

// Writes to standard output / standard error at once (unbuffered), keeping
// track of whether standard error's last line is still open.
void WriteStdout(const QByteArray& bytes);
void WriteStderr(const QByteArray& bytes);

} // namespace vlboot::cli
