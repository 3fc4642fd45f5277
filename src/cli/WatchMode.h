#pragma once

#include "CliOptions.h"
#include "CliView.h"
#include "ProductionLine.h"

namespace vlboot::cli {

// vlboot-cli --watch: a production line left running. Every port named with
// --port (every port of the machine and of the [Ports] map with --port
// auto) is watched on its own (LineWatch): a unit is programmed the moment
// it answers the detection request, by a vlboot-cli of its own, exactly as
// a run of the production line is (serial number, record, warnings,
// --strict), and the next one only after it was taken off. On a terminal a
// table of the ports (state, progress, the last unit, passed and failed)
// and the totals is redrawn in place; otherwise each port's changes are
// lines, each after its port; with --json every unit's events with "port",
// a "port" event when a port's state changes and a "totals" event after
// every unit. With --http the station also serves its JSON API, event
// stream and page. A stop signal stops watching: units in progress end as
// a stop ends a run (a serial-number step first), then the totals table
// follows. Returns 128 + the signal then; 1 for a firmware file the run
// would refuse (or that is not the pinned one), 64 for ports named twice or
// an HTTP server that cannot start, 69 where this build has no HTTP server.
int RunWatch(const CliOptions& options, const QString& configDir, const CliOutput& output, LineTerminal terminal,
             int stopSignalFd);

} // namespace vlboot::cli
