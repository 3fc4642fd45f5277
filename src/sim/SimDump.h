#pragma once

#include "DeviceModel.h"

#include <string>
#include <vector>

namespace vlboot::sim {

// The files the simulator leaves behind: for the amplifier every programmed
// flash block as "block-NNN.bin" (NNN the block number in three decimal
// digits), block 042 too once the flash CRC has been written; for the
// fixture its memory image as "memory.bin" (64 KiB). A silent line leaves
// nothing. The folder is created when missing.
std::vector<std::string> DumpFileNames(const DeviceModel& model);
bool WriteDump(const DeviceModel& model, const std::string& dir, std::string& error);

// Checked when the simulator starts, so that a dump folder that cannot be
// written is found before a run rather than after it: creates the folder
// when missing and makes sure a file can be written into it.
bool PrepareDumpFolder(const std::string& dir, std::string& error);

} // namespace vlboot::sim
