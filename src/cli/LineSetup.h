#pragma once

#include "CliOptions.h"
#include "CliView.h"
#include "FirmwareCheck.h"
#include "IniFileHandler.h"
#include "Outcome.h"
#include "ProductionSetup.h"

#include <QString>
#include <QStringList>

namespace vlboot::cli {

// What a production line (several ports, --port auto, --watch) sets up
// before any port is touched.

// The firmware file every unit gets: the one named, else the FirmwareFile
// setting; checked once, and held to the pinned SHA-256 (--expect-sha256,
// else FirmwareSha256= of [Production]). Failed with the reason a run
// would give (both hashes for a file that is not the pinned one).
struct LineFirmware {
    QString file; // absolute
    FirmwareCheckResult check;
    bool pinned = false;
};
Result<LineFirmware> CheckLineFirmware(const CliOptions& options, const QString& configDir, const ProductionSetup& production);

// Two --port values that lead to one device (a link and its target, COMn
// and its [Ports] path) would have two units wait for each other: the
// reason to refuse them, or "".
QString SameDeviceTwice(const QStringList& ports, const IniFileHandler& ini);

// Without a production database: says on standard error, at once, when the
// Serial counter of setup.ini cannot give each fixture a number of its own
// (each fixture is then refused before its boot mode; amplifiers need none).
void WarnOfTheCounter(const CliOptions& options, const QString& configDir, const CliOutput& output);

} // namespace vlboot::cli
