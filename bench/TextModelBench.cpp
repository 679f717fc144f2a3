#include <benchmark/benchmark.h>

#include "SampleReceipt.h"
#include "TavoriCore/DocumentTypeDetector.h"
#include "TavoriCore/RecognizedDocument.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace {

void BM_NormalizeAndClassify(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    const tavori::RecognizedDocument doc{lines, tavori::RecognizedDocument::TextSource::ocr};
    for (auto _ : state) {
        const auto sorted = doc.sortedLines();
        for (const auto& line : sorted)
            benchmark::DoNotOptimize(tavori::TextNormalizer::normalize(line.text));
        benchmark::DoNotOptimize(tavori::DocumentTypeDetector::detect(sorted));
    }
    state.counters["ns_per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations() * lines.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NormalizeAndClassify);

void BM_Normalize(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state)
        for (const auto& line : lines) benchmark::DoNotOptimize(tavori::TextNormalizer::normalize(line.text));
    state.counters["ns_per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations() * lines.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Normalize);

void BM_PrepareForKeywords(benchmark::State& state) {
    std::vector<std::string> normalized;
    for (const auto& line : tavori::bench::sampleReceipt())
        normalized.push_back(tavori::TextNormalizer::normalize(line.text));
    for (auto _ : state)
        for (const auto& t : normalized) benchmark::DoNotOptimize(tavori::Unicode::PreparedText(t));
    state.counters["ns_per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations() * normalized.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PrepareForKeywords);

void BM_Detect(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::DocumentTypeDetector::detect(lines));
}
BENCHMARK(BM_Detect);

}  // namespace

BENCHMARK_MAIN();
