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
    return setup;
}

#if defined(VLBOOT_HAVE_DATABASE)
void UseProductionDatabase(ProgrammingSession& session, const QString& connection)
{
    if (!connection.trimmed().isEmpty())
        session.SetSerialNumberSource(std::make_unique<DatabaseSerialNumbers>(std::make_shared<ProductionDatabase>(connection)));
}
#else
namespace {

// A station set up for the shared counter never falls back to its own.
class NoDatabaseSerialNumbers final : public SerialNumberSource {
public:
    bool Ready(QString& why) override
    {
        why = NoDatabaseText;
        return false;
    }
    Given Take() override { return {false, 65535, NoDatabaseText, {}}; }
};

} // namespace

void UseProductionDatabase(ProgrammingSession& session, const QString& connection)
{
    if (!connection.trimmed().isEmpty())
        session.SetSerialNumberSource(std::make_unique<NoDatabaseSerialNumbers>());
}
#endif

} // namespace vlboot
