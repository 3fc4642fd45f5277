#pragma once

#include "WaitClock.h"

#include <QAbstractEventDispatcher>
#include <functional>

namespace vlboot::test {

// A wait clock whose time moves only when nothing is left to do: each wait
// processes the pending events, and when there were none it jumps straight
// to the deadline. A 12-second time-out so costs no real time, while replies
// delivered through the event loop still arrive in order.
// BeforeWait, when set, runs at the start of every wait; when it returns
// true, that wait ends there.
class FakeWaitClock final : public WaitClock {
public:
    std::function<bool()> BeforeWait;

    double Now() override { return now_; }
    void WaitForEvents(double deadline) override
    {
        if (BeforeWait && BeforeWait())
            return;
        QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
        if (d && d->processEvents(QEventLoop::AllEvents))
            return;
        if (deadline > now_)
            now_ = deadline;
    }
    void advance(double seconds) { now_ += seconds; }

private:
    double now_ = 1000.0;
};

} // namespace vlboot::test
