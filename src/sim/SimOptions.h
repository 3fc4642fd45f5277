#pragma once

#include "DeviceModel.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vlboot::sim {

// One --fault option: REQUEST:N:KIND[=ARG].
struct FaultOption {
    Request request;
    int occurrence;
    Fault fault;
};

// When units come and go on the line (times in seconds; 0: not used).
struct UnitSchedule {
    double present = 0;        // --present: a unit leaves this long after it arrived
    double leaveAfterExit = 0; // --leave-after-exit: ... after its first boot-mode exit request
    double absent = 0;         // --absent: the next one arrives this long after one left
    bool startAbsent = false;  // --start-absent
    int units = 0;             // --units: at most this many arrive (0: no limit)
    double jitter = 0;         // --jitter: each time varies by up to this part of itself
    std::uint32_t jitterSeed = 1;

    // Whether units come and go by the options (signals work in any case).
    bool Given() const { return present > 0 || leaveAfterExit > 0 || absent > 0 || startAbsent || units > 0; }
};

// The command line of vlboot-sim.
struct SimOptions {
    DeviceKind device = DeviceKind::Amplifier;
    int baud = 0; // 0: no pacing
    std::string dumpDir;
    std::vector<FaultOption> faults;
    UnitSchedule schedule;
    std::string unitsLog;
    bool ignoreStdin = false;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program name. On bad usage returns nothing
// and puts the reason into `error`.
std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string& error);

// REQUEST:N:KIND[=ARG], for example "write:3:status=0x15" or "boot-enter:0:no-confirm".
std::optional<FaultOption> ParseFaultOption(std::string_view text, std::string& error);

// A number in decimal or, with a 0x prefix, hexadecimal; nothing when the
// text is not wholly such a number or exceeds `max`.
std::optional<long> ParseNumber(std::string_view text, long max);

// A time in seconds: a decimal number above 0 (fractions allowed) and at most a million.
std::optional<double> ParseSeconds(std::string_view text);

std::string SimUsage();

} // namespace vlboot::sim
