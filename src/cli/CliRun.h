#pragma once

#include "CliOptions.h"
#include "CliView.h"
#include "Station.h"

#include <QString>

namespace vlboot::cli {

// The station of vlboot-cli: setup.ini of `configDir` and the overrides of
// `options` for its runs (nothing of them reaches setup.ini).
StationSetup CliStationSetup(const CliOptions& options, const QString& configDir);

// Runs one programming run as the Start button does and reports it through
// `output`. A stop signal noted on `stopSignalFd` (the read end of the
// stop-signal pipe, -1 for none) stops the run the way Exit does in the
// window. Returns the exit status: 0 success, 1 fault (or a warning under
// --strict), 2 time-out, 128 + the signal when stopped. Needs a
// QCoreApplication (the replies arrive through its event loop).
int RunProgramming(const CliOptions& options, const QString& configDir, const CliOutput& output, bool stderrIsTerminal,
                   int stopSignalFd);

} // namespace vlboot::cli
