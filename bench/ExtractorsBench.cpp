#include <benchmark/benchmark.h>

#include "SampleInvoice.h"
#include "SampleReceipt.h"
#include "TavoriCore/AmountExtractor.h"

namespace {

void perDocument(benchmark::State& state) {
    state.counters["ns_per_document"] = benchmark::Counter(
        static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_AmountExtractor(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::AmountExtractor::extract(lines));
    perDocument(state);
}
BENCHMARK(BM_AmountExtractor);

void BM_AmountExtractorInvoice(benchmark::State& state) {
    const auto lines = tavori::bench::sampleInvoice();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::AmountExtractor::extract(lines));
    perDocument(state);
}
BENCHMARK(BM_AmountExtractorInvoice);

}  // namespace

BENCHMARK_MAIN();
