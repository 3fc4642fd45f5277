#include "PortError.h"

namespace vlboot {

PortError OpenFailure::Kind() const
{
    switch (number) {
    case 0: return PortError::None;
    case PortErrorNumbers::NotAvailable: return PortError::NotAvailable;
    case PortErrorNumbers::AlreadyOpen: return PortError::AlreadyOpen;
    case PortErrorNumbers::NotOpen: return PortError::NotOpen;
    default: return PortError::Other;
    }
}

QString OpenFailure::MessageOf(int number)
{
    switch (number) {
    case PortErrorNumbers::NotAvailable: return QStringLiteral("Comm Port not available!");
    case PortErrorNumbers::AlreadyOpen: return QStringLiteral("Comm Port already open");
    case PortErrorNumbers::NotOpen: return QStringLiteral("Comm Port not open");
    default: return QStringLiteral("Unknown Comm port problem - Error ") + QString::number(number);
    }
}

QString OpenFailure::ToString() const
{
    if (number == 0)
        return {};
    return QStringLiteral("Error %1 on %2: %3")
        .arg(number)
        .arg(devicePath.isEmpty() ? QStringLiteral("(no device)") : devicePath, detail);
}

} // namespace vlboot
