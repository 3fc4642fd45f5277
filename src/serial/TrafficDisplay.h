#pragma once

#include <QString>

namespace vlboot {

// Where the serial link shows the last line sent ("TX: ...") and the last
// line received ("RX: ..."); the traffic window is one.
class TrafficDisplay {
public:
    virtual ~TrafficDisplay() = default;
    virtual void ShowOut(const QString& line) = 0;
    virtual void ShowIn(const QString& line) = 0;
};

} // namespace vlboot
