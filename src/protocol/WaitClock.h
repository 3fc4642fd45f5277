#pragma once

#include <QTimer>

namespace vlboot {

// The clock of the reply waits: monotonic seconds, and a way to let the
// event loop run until something happens or a deadline passes. Tests replace
// it so that a 12-second time-out costs no real time.
class WaitClock {
public:
    virtual ~WaitClock() = default;
    // Seconds since an arbitrary fixed point; never goes backwards.
    virtual double Now() = 0;
    // Processes the pending events; when there are none, blocks until the
    // next event arrives or Now() reaches `deadline`, whichever comes first.
    virtual void WaitForEvents(double deadline) = 0;
};

// The real clock: a monotonic timer, and the event loop's own blocking wait,
// so that a wait with nothing arriving takes no processor time.
class SteadyWaitClock final : public WaitClock {
public:
    SteadyWaitClock();
    double Now() override;
    void WaitForEvents(double deadline) override;

private:
    // Wakes the blocking wait at the deadline when nothing else does; one
    // for all the waits of a run (a run makes thousands of them).
    QTimer wake_;
};

} // namespace vlboot
