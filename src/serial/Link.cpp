#include "Link.h"

#include "HexHelpers.h"

namespace vlboot {

void Link::AppendReceived(QByteArrayView chunk)
{
    receiveBuffer_.append(chunk);
    if (!receiveBuffer_.isEmpty() && receiveBuffer_.size() >= static_cast<std::uint8_t>(receiveBuffer_.at(0)))
        ReportReceived(QStringLiteral("RX: ") + HexStringToReadable(receiveBuffer_));
    if (receiveBuffer_.size() > ReceiveGuard) {
        ReportReceived(QStringLiteral("RX: ") + HexStringToReadable(receiveBuffer_));
        discarded_ += receiveBuffer_.size();
        receiveBuffer_.clear();
    }
    if (BytesArrived)
        BytesArrived();
}

} // namespace vlboot
