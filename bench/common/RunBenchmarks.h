#pragma once

#include <benchmark/benchmark.h>

namespace orlix::bench {

// Google Benchmark's own main, for benchmark programs whose main first sets up what every
// benchmark shares: runs the benchmarks the command line names; 1 on an unknown argument.
inline int runBenchmarks(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace orlix::bench
