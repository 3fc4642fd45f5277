#include "ProductionSetup.h"

#include "IniFileHandler.h"
#include "ProgrammingSession.h"
#include "SerialNumber.h"
#if defined(VLBOOT_HAVE_DATABASE)
#include "DatabaseSerialNumbers.h"
#include "ProductionDatabase.h"
#endif

#include <QSysInfo>

namespace vlboot {

ProductionSetup ReadProductionSetup(const IniFileHandler& ini)
{
    static const QString Section = QStringLiteral("Production");
    ProductionSetup setup;
    // An empty default: a missing key is not written.
    setup.database = ini.ReadIni(Section, QStringLiteral("Database"), QString());
    setup.station = ini.ReadIni(Section, QStringLiteral("Station"), QString());
    if (setup.station.isEmpty())
        setup.station = QSysInfo::machineHostName();
    setup.firmwareSha256 = ini.ReadIni(Section, QStringLiteral("FirmwareSha256"), QString()).trimmed().toLower().toLatin1();
    for (const QString& port : ini.ReadIni(Section, QStringLiteral("Ports"), QString()).split(QLatin1Char(','), Qt::SkipEmptyParts))
        setup.ports << port.trimmed();
    setup.firmwareFile = ini.ReadIni(Section, QStringLiteral("FirmwareFile"), QString()).trimmed();
    setup.http = ini.ReadIni(Section, QStringLiteral("Http"), QString()).trimmed();
    setup.httpToken = ini.ReadIni(Section, QStringLiteral("HttpToken"), QString()).trimmed();
    return setup;
}

bool StoreProductionSetting(const IniFileHandler& ini, const QString& key, const QString& value)
{
    return ini.WriteIni(QStringLiteral("Production"), key, value);
}

#if defined(VLBOOT_HAVE_DATABASE)
std::shared_ptr<ProductionDatabase> UseProductionDatabase(ProgrammingSession& session, const QString& connection)
{
    if (connection.trimmed().isEmpty())
        return nullptr;
    auto database = std::make_shared<ProductionDatabase>(connection);
    session.SetSerialNumberSource(std::make_unique<DatabaseSerialNumbers>(database));
    return database;
}
#else
namespace {

// A station set up for the shared counter never falls back to its own.
class NoDatabaseSerialNumbers final : public SerialNumberSource {
public:
    Outcome Ready() override { return Outcome::Failed(NoDatabaseText); }
    Result<Given> Take() override { return Outcome::Failed(NoDatabaseText); }
};

} // namespace

std::shared_ptr<ProductionDatabase> UseProductionDatabase(ProgrammingSession& session, const QString& connection)
{
    if (!connection.trimmed().isEmpty())
        session.SetSerialNumberSource(std::make_unique<NoDatabaseSerialNumbers>());
    return nullptr;
}
#endif

} // namespace vlboot
