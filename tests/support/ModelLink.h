#pragma once

#include "DeviceModel.h"
#include "Link.h"

#include <QObject>
#include <deque>
#include <vector>

namespace vlboot::sim {

// A serial link whose far end is a DeviceModel, or a script, for tests of
// the protocol, the bootloader operations and the programming run.
//
// Every frame sent is recorded and answered: by the next entry of Script
// while there is one (its chunks as they stand; an empty entry is
// silence), otherwise by the model. The answer reaches ReceiveBuffer
// through the event loop one piece at a time: the next piece is posted
// only once the previous one has been delivered, so one pass of event
// processing never delivers a reply together with the frame that follows
// it. Delays are not kept: each piece is a queued call.
//
// The "port" is open from the start. A failed SetupMScomm (FailOpen, which
// the reply-stream fuzzer sets) or CloseMScomm closes it; frames sent while it is closed are recorded but
// never answered, and pieces due while it is closed are lost.
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
    // Bytes that arrive without a request.
    void Arrive(const QByteArray& bytes) { AppendReceived(bytes); }

    std::deque<std::vector<QByteArray>> Script;
    bool FailOpen = false;
    std::vector<QByteArray> Sent;
    qsizetype Received = 0; // bytes delivered into ReceiveBuffer
    std::vector<QString> RxLines;
    std::vector<int> Setups; // the port of each SetupMScomm, its speed index * 100 added
    int Clears = 0;

protected:
    void ReportReceived(const QString& line) override { RxLines.push_back(line); }

private:
    void ScheduleNext();
    void DeliverNext();

    DeviceModel model_;
    std::deque<Emission> pending_;
    bool scheduled_ = false;
    bool open_ = true;
};

} // namespace vlboot::sim
