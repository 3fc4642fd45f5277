#pragma once

#include <QString>

namespace vlboot::sim {

// vlboot-mkfw --verify: holds a simulator's dump against the image a
// standard Intel HEX reader makes of a firmware file (StandardHexImage).
//
// Amplifier (DIR/block-NNN.bin): every 64 KiB block the image has data in
// must have been dumped, and every byte the image defines must equal the
// flash byte; bytes the file does not define are not compared, and the
// flash CRC at block 42's bytes 0 and 1 is a byte like any other.
// Fixture (`fixture`, or DIR holds memory.bin): the 64 KiB memory against
// the image folded to 16-bit addresses (later records win across blocks);
// the serial-number record at 0x7FFB..0x7FFF is left out of the comparison
// unless `strictSerial`, and the serial number it holds is printed.
//
// The report goes to standard output, a bad file or dump to standard error.
// Returns 0 when equal, 1 when not, 2 when the file cannot be read as Intel
// HEX or the dump folder or one of its files is missing or not 64 KiB.
int VerifyDump(const QString& dumpDir, const QString& firmwareFile, bool fixture, bool strictSerial);

} // namespace vlboot::sim
