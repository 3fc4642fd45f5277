#include "ProductionSetup.h"

#include "DatabaseSerialNumbers.h"
#include "IniFileHandler.h"
#include "ProductionDatabase.h"
#include "ProgrammingSession.h"

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

void UseProductionDatabase(ProgrammingSession& session, const QString& connection)
{
    if (!connection.trimmed().isEmpty())
        session.SetSerialNumberSource(std::make_unique<DatabaseSerialNumbers>(std::make_shared<ProductionDatabase>(connection)));
}

} // namespace vlboot
