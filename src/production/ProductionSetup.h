#pragma once

#include <QString>

namespace vlboot {

class IniFileHandler;
class ProgrammingSession;

// The section [Production] of setup.ini, read by the window and vlboot-cli
// alike. Nothing is written: without the section everything is as on a
// single station (the counter in setup.ini).
struct ProductionSetup {
    QString database; // "Database": a PostgreSQL connection string; "" for none
    QString station;  // "Station": the station's name in the records; the host name when unset
};
ProductionSetup ReadProductionSetup(const IniFileHandler& ini);

// With a connection string: the session's fixtures get their serial numbers
// from that production database (OpenRecordStore sends the records there).
// Without one: nothing changes. In a build without the production database
// a fixture run then ends with "Fault" before boot mode, saying why.
void UseProductionDatabase(ProgrammingSession& session, const QString& connection);

// Whether this build has the production database (the CMake option
// VLBOOT_DATABASE: libpq is not available for Windows builds), and what
// every program says when one is asked for in a build without it.
#if defined(VLBOOT_HAVE_DATABASE)
inline constexpr bool DatabaseBuilt = true;
#else
inline constexpr bool DatabaseBuilt = false;
#endif
inline const QString NoDatabaseText = QStringLiteral("the production database is not available in this build");

} // namespace vlboot
