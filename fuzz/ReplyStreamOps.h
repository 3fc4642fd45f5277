#pragma once

#include <QByteArray>
#include <fuzzer/FuzzedDataProvider.h>

namespace vlboot::fuzz {

// The rules every frame on the line keeps, whoever sent it: its first byte
// is its length, it is at most 43 bytes long, its last byte is the sum of
// the others modulo 256, and an SFO message inside it carries its own length
// and checksum. A frame that breaks one aborts.
void CheckFrameRules(const QByteArray& frame);

// A sequence of single operations (detection, boot mode, memory write, block
// erase and program, CRC read and write, or a bare frame and its wait), each
// answered by reply bytes, lengths and chunking taken from the input.
void RunOperations(FuzzedDataProvider& in);

} // namespace vlboot::fuzz
