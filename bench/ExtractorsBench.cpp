#include <benchmark/benchmark.h>

#include "SampleReceipt.h"
#include "TavoriCore/DateExtractor.h"
#include "TavoriCore/RegistrationNumberExtractor.h"

namespace {

void perReceipt(benchmark::State& state) {
    state.counters["ns_per_receipt"] = benchmark::Counter(
        static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DateExtractor(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::DateExtractor::extract(lines));
    perReceipt(state);
}
BENCHMARK(BM_DateExtractor);

void BM_RegistrationNumberExtractor(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::RegistrationNumberExtractor::extract(lines));
    perReceipt(state);
}
BENCHMARK(BM_RegistrationNumberExtractor);

}  // namespace

BENCHMARK_MAIN();
