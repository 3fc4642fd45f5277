#pragma once

#include <fuzzer/FuzzedDataProvider.h>

namespace vlboot::fuzz {

// A whole programming run of a small fixed firmware file against the device
// model, with faults taken from the input arranged on its requests.
void RunProgramming(FuzzedDataProvider& in);

} // namespace vlboot::fuzz
