// Throughput of the checking pass over a firmware file, the pass that reads
// the whole file once before anything is sent to the device.
//
// Usage: vlboot-bench-check FILE [Google Benchmark options]
// FILE is an Intel HEX image (bench/run.sh makes a 100 MB one with
// vlboot-mkfw). Reports the bytes of file read per second.

#include "FirmwareCheck.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QString>
#include <cstdio>

namespace {

QString firmwareFile;

void CheckingPass(benchmark::State& state)
{
    const qint64 size = QFileInfo(firmwareFile).size();
    double total = 0;
    for (auto _ : state) {
        const vlboot::FirmwareCheckResult r = vlboot::CheckFirmwareFile(firmwareFile);
        if (!r.ok) {
            state.SkipWithError(qPrintable(r.why));
            return;
        }
        total = r.totalBytes; // (the pass reads a file: nothing to optimise away)
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
    state.counters["data_bytes"] = total;
}
BENCHMARK(CheckingPass)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vlboot-bench-check FILE [benchmark options]\n");
        return 64;
    }
    firmwareFile = QString::fromLocal8Bit(argv[1]);
    if (!QFileInfo(firmwareFile).isFile()) {
        std::fprintf(stderr, "vlboot-bench-check: %s: no such file\n", argv[1]);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
