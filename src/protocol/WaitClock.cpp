#include "WaitClock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
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
    // A deadline already past wakes the wait at once.
    const double remaining = std::max(0.0, deadline - Now());
    wake_.start(static_cast<int>(std::ceil(remaining * 1000.0)));
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_.stop();
}

} // namespace vlboot
