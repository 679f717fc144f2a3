#include <benchmark/benchmark.h>

#include "SampleReceipt.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriCore/VendorExtractor.h"

namespace {

// Seconds per document, printed with an SI prefix ("12.3u" is 12.3 µs).
void perDocument(benchmark::State& state) {
    state.counters["per_document"] = benchmark::Counter(
        static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_VendorExtractor(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::VendorExtractor::extract(lines, "山田商事"));
    perDocument(state);
}
BENCHMARK(BM_VendorExtractor);

// What the analyzer does with the best vendor name of one document: the bare test, then the alias mapping.
void BM_VendorAliasBuiltInRule(benchmark::State& state) {
    const tavori::VendorAliasDictionary aliases;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavori::VendorAliasDictionary::isBareCorporateAffix("ファミリーマート"));
        benchmark::DoNotOptimize(aliases.canonicalName("ファミリーマート"));
    }
    perDocument(state);
}
BENCHMARK(BM_VendorAliasBuiltInRule);

void BM_VendorAliasStripCorporateForm(benchmark::State& state) {
    const tavori::VendorAliasDictionary aliases{{{tavori::Uuid::random(), "サンプル商会", "サンプル"},
                                                 {tavori::Uuid::random(), "Example", "エグザンプル"}},
                                                true};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tavori::VendorAliasDictionary::isBareCorporateAffix("株式会社テスト商事 渋谷支店"));
        benchmark::DoNotOptimize(aliases.canonicalName("株式会社テスト商事 渋谷支店"));
    }
    perDocument(state);
}
BENCHMARK(BM_VendorAliasStripCorporateForm);

void BM_VendorAliasLatinName(benchmark::State& state) {
    const tavori::VendorAliasDictionary aliases;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tavori::VendorAliasDictionary::isBareCorporateAffix("Sample Trading Co., Ltd."));
        benchmark::DoNotOptimize(aliases.canonicalName("Sample Trading Co., Ltd."));
    }
    perDocument(state);
}
BENCHMARK(BM_VendorAliasLatinName);

}  // namespace

BENCHMARK_MAIN();
