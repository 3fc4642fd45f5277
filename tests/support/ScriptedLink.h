#pragma once

#include "Link.h"

#include <QByteArray>
#include <QObject>
#include <deque>
#include <vector>

namespace vlboot::test {

// A link whose far end answers from a script: each frame sent takes the next
// entry, whose chunks are delivered one per event-loop pass. An empty entry
// is silence.
class ScriptedLink : public QObject, public Link {
public:
    std::deque<std::vector<QByteArray>> Script;
    std::vector<QByteArray> Sent;
    std::vector<QString> RxLines;
    std::vector<int> Setups; // the port of each SetupMScomm, its speed index * 100 added
    int Clears = 0;

    bool SetupMScomm(std::uint8_t port, std::uint8_t speed) override
    {
        Setups.push_back(port + 100 * speed);
        return true;
    }
    void CloseMScomm() override {}
    void ClearMScommInput() override
    {
        ++Clears;
        EmptyReceiveBuffer();
    }
    void SendMScommString(const QByteArray& str) override
    {
        Sent.push_back(str);
        if (Script.empty())
            return;
        deliver(Script.front(), 0);
        Script.pop_front();
    }
    // Bytes that arrive without a request.
    void Arrive(const QByteArray& bytes) { AppendReceived(bytes); }

protected:
    void ReportReceived(const QString& line) override { RxLines.push_back(line); }

private:
    void deliver(std::vector<QByteArray> chunks, std::size_t i)
    {
        if (i >= chunks.size())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, chunks = std::move(chunks), i]() mutable {
                AppendReceived(chunks[i]);
                deliver(std::move(chunks), i + 1);
            },
            Qt::QueuedConnection);
    }
};

// Bytes from hexadecimal text, "05 01 00 00 06".
inline QByteArray Bytes(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

} // namespace vlboot::test
