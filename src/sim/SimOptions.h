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

// The command line of vlboot-sim.
struct SimOptions {
    DeviceKind device = DeviceKind::Amplifier;
    int baud = 0; // 0: no pacing
    std::string dumpDir;
    std::vector<FaultOption> faults;
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

std::string SimUsage();

} // namespace vlboot::sim
