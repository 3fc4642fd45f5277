#pragma once

#include "CliOptions.h"
#include "CliView.h"
#include "LineFirmware.h"
#include "Outcome.h"
#include "ProductionSetup.h"

#include <QString>
#include <QStringList>

namespace vlboot::cli {

// What a production line (several ports, --port auto, --watch) sets up
// before any port is touched.

// The firmware file every unit gets: the one named, else the line's
// (LineFirmwareFile); checked once, and held to the pinned SHA-256 (--expect-sha256,
// else FirmwareSha256= of [Production]).
Result<LineFirmware> CheckLineFirmware(const CliOptions& options, const QString& configDir, const ProductionSetup& production);

// Without a production database: says on standard error, at once, when the
// Serial counter of setup.ini cannot give each fixture a number of its own
// (each fixture is then refused before its boot mode; amplifiers need none).
void WarnOfTheCounter(const CliOptions& options, const QString& configDir, const CliOutput& output);

} // namespace vlboot::cli
