#include <benchmark/benchmark.h>

#include "SampleReceipt.h"
#include "TavoriCore/DocumentTypeDetector.h"
#include "TavoriCore/RecognizedDocument.h"
#include "TavoriCore/TextNormalizer.h"

namespace {

void BM_NormalizeAndClassify(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    const tavori::RecognizedDocument doc{lines, tavori::RecognizedDocument::TextSource::ocr};
    for (auto _ : state) {
        const auto sorted = doc.sortedLines();
        for (const auto& line : sorted) benchmark::DoNotOptimize(tavori::TextNormalizer::normalize(line.text));
        benchmark::DoNotOptimize(tavori::DocumentTypeDetector::detect(sorted));
    }
    state.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(state.iterations() * lines.size()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NormalizeAndClassify);

void BM_Normalize(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state)
        for (const auto& line : lines) benchmark::DoNotOptimize(tavori::TextNormalizer::normalize(line.text));
    state.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(state.iterations() * lines.size()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Normalize);

}  // namespace

BENCHMARK_MAIN();
