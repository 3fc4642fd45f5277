#pragma once

#include "FirmwareWalk.h"

#include <cstdint>

namespace vlboot {

// What a successful run of a checked file puts on the line: its
// request/reply exchanges and the bytes of their frames and replies (the
// amplifier's boot-mode frame included), from the walk of the file that the
// run itself makes.
struct RunTraffic {
    long long exchanges = 0;
    double wireBytes = 0;
    // Seconds on a `baud` line of 10 bit times per byte (8N1), without the
    // module's own working time.
    double WireSeconds(int baud) const { return wireBytes * 10.0 / baud; }
};

// The traffic of a run of the walked file into a device of `deviceType`
// (DeviceTypes::Fixture or Amplifier).
RunTraffic EstimateTraffic(const WalkSummary& walk, std::uint8_t deviceType);

} // namespace vlboot
