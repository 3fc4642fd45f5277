// Reply bytes, lengths and chunking of the fuzzer's choosing, fed to the
// reply wait through the single operations, or to a whole programming run
// through the device model with faults arranged on its requests.
//
// The first byte chooses: even for the single operations, odd for a run.

#include "CommandTable.h"
#include "FuzzSupport.h"
#include "ReplyStreamOps.h"
#include "ReplyStreamRun.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vlboot::fuzz::EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    if (data[0] % 2 == 0)
        vlboot::fuzz::RunOperations(in);
    else
        vlboot::fuzz::RunProgramming(in);
    return 0;
}
