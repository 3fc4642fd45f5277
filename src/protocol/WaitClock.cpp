#include "WaitClock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cmath>

namespace vlboot {

SteadyWaitClock::SteadyWaitClock()
{
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
}

double SteadyWaitClock::Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SteadyWaitClock::WaitForEvents(double deadline)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    const double remaining = deadline - Now();
    if (remaining <= 0) {
        // Past the deadline: only what is already waiting. (Windows' event
        // dispatcher does not wake a blocking wait for a timer of 0 ms.)
        dispatcher->processEvents(QEventLoop::AllEvents);
        return;
    }
    wake_.start(static_cast<int>(std::ceil(remaining * 1000.0)));
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_.stop();
}

} // namespace vlboot
