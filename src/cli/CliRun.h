#pragma once

#include "CliOptions.h"
#include "CliView.h"
#include "ProgramModule.h"

#include <QString>

namespace vlboot::cli {

// Runs one programming run as the Start button does, with setup.ini of
// `configDir` read as at start-up and the overrides of `options`, and
// reports it through `output`. Returns the exit status: 0 success, 1 fault,
// 2 time-out. Needs a QCoreApplication (the replies arrive through its
// event loop).
int RunProgramming(const CliOptions& options, const QString& configDir, const CliOutput& output, bool stderrIsTerminal);

// The exit status of a run's outcome.
int ExitStatus(RunOutcome outcome);

} // namespace vlboot::cli
