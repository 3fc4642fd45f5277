#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace vlboot {

class IniFileHandler;
class ProductionDatabase;
class ProgrammingSession;

// The section [Production] of setup.ini, read by the window and vlboot-cli
// alike. Nothing is written: without the section everything is as on a
// single station (the counter in setup.ini).
struct ProductionSetup {
    QString database; // "Database": a PostgreSQL connection string; "" for none
    QString station;  // "Station": the station's name in the records; the host name when unset
    QByteArray firmwareSha256; // "FirmwareSha256": the only firmware the station programs (lower case); "" for any
    QStringList ports;  // "Ports": the ports the production window watches, comma-separated
    QString firmwareFile; // "FirmwareFile": the production window's firmware file ("" for the main window's)
    QString http;       // "Http": where the station's HTTP server listens ("" for none)
    QString httpToken;  // "HttpToken": what every HTTP request must carry when set
};
ProductionSetup ReadProductionSetup(const IniFileHandler& ini);
// Stores one key of [Production] (the production window's settings), at once.
bool StoreProductionSetting(const IniFileHandler& ini, const QString& key, const QString& value);

// With a connection string: the session's fixtures get their serial numbers
// from that production database (OpenRecordStore sends the records there).
// Without one: nothing changes. In a build without the production database
// a fixture run then ends with "Fault" before boot mode, saying why. The
// database the numbers come from (null without one, and in such a build).
std::shared_ptr<ProductionDatabase> UseProductionDatabase(ProgrammingSession& session, const QString& connection);

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
