#pragma once

#include "CliOptions.h"
#include "FirmwareCheck.h"
#include "UnitProcess.h"
#include "UnitRecord.h"

#include <QString>
#include <QStringList>

namespace vlboot::cli {

// The vlboot-cli of every unit of a production line or a watch: this
// program again, with --json --quiet --one-number-each and the run's
// options, for the checked firmware file.
UnitCommand UnitCommandOf(const CliOptions& options, const QString& configDir, const QString& file,
                          const FirmwareCheckResult& check);
// Where a unit on `port` (a --port value) runs: its COMn and device, and
// the speed and address its run uses.
UnitPlace UnitPlaceOf(const CliOptions& options, const QString& configDir, const QString& port);

} // namespace vlboot::cli
