#pragma once

#include "CliEvents.h"
#include "CliOptions.h"
#include "CliView.h"
#include "ProgramModule.h"
#include "RunRecord.h"

#include <QString>

namespace vlboot::cli {

// Runs one programming run as the Start button does, with setup.ini of
// `configDir` read as at start-up and the overrides of `options`, and
// reports it through `output`. A stop signal noted on `stopSignalFd` (the
// read end of the stop-signal pipe, -1 for none) stops the run the way Exit
// does in the window. Returns the exit status: 0 success, 1 fault (or a
// warning under --strict), 2 time-out, 130/143 stopped by SIGINT/SIGTERM.
// Needs a QCoreApplication (the replies arrive through its event loop).
int RunProgramming(const CliOptions& options, const QString& configDir, const CliOutput& output, bool stderrIsTerminal,
                   int stopSignalFd);

// The exit status of a run's outcome (a stopped run: that of `signal`).
int ExitStatus(RunOutcome outcome, int signal);

// Keeps a unit's record in runs.csv of `configDir` (or `recordFile`) and the
// production `database` ("" for none). Returns what there is to say about it
// ("" when nothing); a record that could not be kept also goes into
// result.recordError, and never changes the outcome.
QString KeepRecord(const QString& configDir, const QString& recordFile, const QString& database, const RunRecord& record,
                   RunResult& result);

} // namespace vlboot::cli
