#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace vlboot::cli {

// The line a technician reads after a run, to see whether the serial adapter
// adds latency: "vlboot-cli: 123 exchanges in 0.84 s, median round trip
// 1.3 ms per exchange" ("no complete exchange" when there was none).
QString SummaryLine(int exchanges, double wallSeconds, std::optional<double> medianMs);

} // namespace vlboot::cli
