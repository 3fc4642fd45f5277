#pragma once

#include "CliOptions.h"
#include "CliView.h"

#include <QString>
#include <optional>

namespace vlboot::cli {

// The production database's commands: --records (the records, as a table or
// one JSON object per line on standard output) and --set-next-serial (the
// counter's next number for a new batch). The database is --database, else
// Database= in [Production] of setup.ini in `configDir` (read, never
// written). Returns the exit status: 0 done, 1 the database failed or
// refused (why on standard error), 64 no database is set.
int RunDatabaseCommand(const CliOptions& options, const QString& configDir, const CliOutput& output);

// The production database of a run: --database, else Database= of
// setup.ini in `configDir`; "" for none.
QString DatabaseConnection(const CliOptions& options, const QString& configDir);

// In a build without the production database (Windows): when the command
// line (--database, --records, --set-next-serial) or setup.ini (Database=)
// asks for one, says so on standard error and gives ExitStatus::Unavailable (69),
// before any port is touched. Otherwise (and in every build with the
// database) nothing.
std::optional<int> RefuseMissingDatabase(const CliOptions& options, const QString& configDir, const CliOutput& output);

} // namespace vlboot::cli
