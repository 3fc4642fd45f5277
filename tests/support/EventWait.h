#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace vlboot::test {

// Lets the event loop run (blocking while nothing happens) until `done`
// holds or `limitMs` passed; true when `done` held. The limit only guards
// against a hang, it is not part of what a test checks.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs = 5000)
{
    bool expired = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&expired] { expired = true; });
    limit.start(limitMs);
    while (!done() && !expired)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// Lets everything already pending be handled, without waiting.
inline void ProcessPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace vlboot::test
