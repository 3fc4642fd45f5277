#pragma once

#include <functional>

namespace vlboot {

// Ending the program in the middle of a fixture's serial-number step (from
// reading the counter, through writing the number into the fixture, to
// storing the next one) would leave the fixture holding a number the counter
// has not moved past, and the next run would give it out again. Front ends
// that end the program on request (Exit, a stop signal) go through EndWhenSafe.

// Runs `end` now, or, during the serial-number step, as soon as it is over.
void EndWhenSafe(std::function<void()> end);

// Marks the serial-number step for as long as it lives.
class SerialNumberStep {
public:
    SerialNumberStep();
    ~SerialNumberStep();
    SerialNumberStep(const SerialNumberStep&) = delete;
    SerialNumberStep& operator=(const SerialNumberStep&) = delete;

    static bool Running();
};

} // namespace vlboot
