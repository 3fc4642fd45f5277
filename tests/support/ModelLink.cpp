#include "ModelLink.h"

namespace vlboot::sim {

ModelLink::ModelLink(DeviceKind kind, QObject* parent)
    : QObject(parent)
    , model_(kind)
{
}

bool ModelLink::SetupMScomm(std::uint8_t port, std::uint8_t speed)
{
    Setups.push_back(port + 100 * speed);
    open_ = !FailOpen;
    return open_;
}

void ModelLink::CloseMScomm()
{
    open_ = false;
}

void ModelLink::ClearMScommInput()
{
    // Only what has arrived is discarded; emissions still to come are on
    // their way and arrive later.
    ++Clears;
    EmptyReceiveBuffer();
}

void ModelLink::SendMScommString(const QByteArray& str)
{
    Sent.push_back(str);
    if (!open_)
        return;
    if (!Script.empty()) {
        for (const QByteArray& chunk : Script.front())
            pending_.push_back({0, chunk});
        Script.pop_front();
    } else {
        for (Emission& e : model_.Receive(str))
            pending_.push_back(std::move(e));
    }
    ScheduleNext();
}

void ModelLink::ScheduleNext()
{
    if (scheduled_ || pending_.empty())
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, [this] { DeliverNext(); }, Qt::QueuedConnection);
}

void ModelLink::DeliverNext()
{
    scheduled_ = false;
    if (pending_.empty())
        return;
    const Emission e = std::move(pending_.front());
    pending_.pop_front();
    if (open_) {
        Received += e.bytes.size();
        AppendReceived(e.bytes);
    }
    ScheduleNext();
}

} // namespace vlboot::sim
