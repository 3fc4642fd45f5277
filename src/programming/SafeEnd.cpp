#include "SafeEnd.h"

#include <utility>

namespace vlboot {
namespace {

bool running = false;
std::function<void()> deferredEnd;

} // namespace

void EndWhenSafe(std::function<void()> end)
{
    if (running)
        deferredEnd = std::move(end);
    else if (end)
        end();
}

SerialNumberStep::SerialNumberStep()
{
    running = true;
}

SerialNumberStep::~SerialNumberStep()
{
    running = false;
    if (auto end = std::exchange(deferredEnd, {}))
        end();
}

bool SerialNumberStep::Running()
{
    return running;
}

} // namespace vlboot
