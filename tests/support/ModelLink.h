#pragma once

#include "DeviceModel.h"
#include "Link.h"

#include <QObject>
#include <deque>
#include <vector>

namespace vlboot::sim {

// A serial link whose far end is a DeviceModel, for tests of the protocol,
// the bootloader operations and the programming run.
//
// Every frame sent is recorded and fed to the model; the model's emissions
// reach ReceiveBuffer through the event loop, one at a time: the next
// emission is posted only once the previous one has been delivered, so one
// pass of event processing never delivers a reply together with the frame
// that follows it. Delays are not kept: each emission is a queued call.
//
// The "port" is open from the start. A failed SetupMScomm (FailOpen) or
// CloseMScomm closes it; frames sent while it is closed are recorded but
// never reach the model, and emissions due while it is closed are lost.
class ModelLink : public QObject, public vlboot::Link {
    Q_OBJECT
public:
    explicit ModelLink(DeviceKind kind = DeviceKind::Amplifier, QObject* parent = nullptr);

    bool SetupMScomm(std::uint8_t ComPort, std::uint8_t ComSpeed) override;
    void CloseMScomm() override;
    void ClearMScommInput() override;
    void SendMScommString(const QByteArray& str) override;

    DeviceModel& Model() { return model_; }
    const DeviceModel& Model() const { return model_; }

    const std::vector<QByteArray>& SentFrames() const { return sent_; }

    bool FailOpen = false;

private:
    void ScheduleNext();
    void DeliverNext();

    DeviceModel model_;
    std::vector<QByteArray> sent_;
    std::deque<Emission> pending_;
    bool scheduled_ = false;
    bool open_ = true;
};

} // namespace vlboot::sim
