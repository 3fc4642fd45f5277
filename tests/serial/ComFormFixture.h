#pragma once

#include "ComForm.h"
#include "EventWait.h"
#include "Pty.h"
#include "TestFiles.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <termios.h>

namespace vlboot::test {

inline constexpr int Limit = 5000; // guards against a hang only

inline QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(static_cast<char>(v));
    return out;
}

struct RecordingDisplay : TrafficDisplay {
    QStringList out;
    QStringList in;
    void ShowOut(const QString& line) override { out << line; }
    void ShowIn(const QString& line) override { in << line; }
};

inline speed_t LineSpeed(const PtyPair& pty)
{
    termios t{};
    ::tcgetattr(pty.slaveFd(), &t);
    return ::cfgetospeed(&t);
}

// COM1 is a pseudo-terminal whose master plays the device, COM3 does not
// exist, COM4 is an ordinary file and COM5 /dev/null; all through the
// "Ports" map of setup.ini, as on a technician's PC.
class ComFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(device.isValid());
        folder.write("setup.ini", "[Ports]\r\nCOM1=" + device.slavePath().toLocal8Bit()
                                      + "\r\nCOM3=" + folder.file("no-such-tty").toLocal8Bit()
                                      + "\r\nCOM4=" + folder.file("setup.ini").toLocal8Bit()
                                      + "\r\nCOM5=/dev/null\r\n");
        link = std::make_unique<ComForm>(folder.path());
        link->ShowMessage = [this](const QString& title, const QString& text) { boxes << title + "|" + text; };
        link->SetDisplay(&display);
    }

    // The device answers; the event loop runs until the link collected
    // `total` bytes in all.
    bool Reply(const QByteArray& bytes, int total)
    {
        return device.write(bytes)
            && ProcessEventsUntil([&] { return link->ReceiveBuffer.size() >= total; }, Limit);
    }

    TestFolder folder;
    PtyPair device;
    std::unique_ptr<ComForm> link;
    RecordingDisplay display;
    QStringList boxes;
};

} // namespace vlboot::test
