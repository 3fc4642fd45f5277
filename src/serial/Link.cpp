#include "Link.h"

#include "HexHelpers.h"

namespace vlboot {

void Link::AppendReceived(QByteArrayView chunk)
{
    ReceiveBuffer.append(chunk);
    if (!ReceiveBuffer.isEmpty()
        && ReceiveBuffer.size() >= static_cast<std::uint8_t>(ReceiveBuffer.at(0)))
        ReportReceived(QStringLiteral("RX: ") + HexStringToReadable(ReceiveBuffer));
    if (ReceiveBuffer.size() > ReceiveGuard) {
        ReportReceived(QStringLiteral("RX: ") + HexStringToReadable(ReceiveBuffer));
        DiscardedBytes += ReceiveBuffer.size();
        ReceiveBuffer.clear();
    }
}

} // namespace vlboot
