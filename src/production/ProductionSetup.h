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
// Without one: nothing changes.
void UseProductionDatabase(ProgrammingSession& session, const QString& connection);

} // namespace vlboot
