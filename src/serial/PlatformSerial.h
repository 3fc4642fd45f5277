#pragma once

#include <QtGlobal>

namespace vlboot {

// Asks the serial driver behind an open port handle to hand over received
// bytes at once instead of holding them back for its latency timer (USB
// serial adapters wait 16 ms by default). True when the port now runs with
// low latency; false where the driver or platform does not offer it (a
// pseudo-terminal, a closed handle), which callers simply accept.
bool RequestLowLatency(qintptr handle);

} // namespace vlboot
