#pragma once

#include "CliOptions.h"
#include "CliView.h"

namespace vlboot::cli {

// How the parent shows the units' runs.
struct LineTerminal {
    bool stdoutIsTerminal = false;
    bool stderrIsTerminal = false;
};

// A production line's run: the firmware file checked once, then every port
// named with --port (or, with --port auto, every port where a device
// answered the probe) programmed at the same time, each by a vlboot-cli of
// its own (see decisions.md: one process per unit), which reports in --json
// and keeps its unit's record. Shows one live line per port on a terminal
// (else the captions, each after its port; with --json every event with
// "port"), then a table of the results. A stop signal on `stopSignalFd` is
// passed on to every unit still running. Returns the exit status: 0 when
// every unit succeeded, 1 when any ended with a fault, else 2 when any timed
// out; 128 + the signal when a stop signal stopped a unit. Needs a
// QCoreApplication.
int RunProductionLine(const CliOptions& options, const QString& configDir, const CliOutput& output,
                      LineTerminal terminal, int stopSignalFd);

} // namespace vlboot::cli
