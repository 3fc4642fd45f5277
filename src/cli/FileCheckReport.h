#pragma once

#include "CliOptions.h"
#include "CliView.h"

namespace vlboot::cli {

// vlboot-cli --check FILE: the checking pass of a run over the file alone,
// touching no port and no setting. Prints its records, data bytes, blocks
// (with their address ranges), size and SHA-256, and the exchanges, bytes on
// the line and time on the wire at each speed of a run into an amplifier and
// into a fixture; with --json one "check" event. A file the run would
// refuse gives "why: ..." on standard error, as a run does. Returns the
// exit status: 0, or 1 for a file the run would refuse.
int RunFileCheck(const CliOptions& options, const CliOutput& output);

} // namespace vlboot::cli
