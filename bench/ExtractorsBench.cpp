#include <benchmark/benchmark.h>

#include "SampleInvoice.h"
#include "SampleReceipt.h"
#include "TavoriCore/AmountExtractor.h"
#include "TavoriCore/DateExtractor.h"
#include "TavoriCore/DocumentTypeDetector.h"
#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/RegistrationNumberExtractor.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriCore/VendorExtractor.h"

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

void BM_VendorExtractor(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::VendorExtractor::extract(lines, "山田商事"));
    perReceipt(state);
}
BENCHMARK(BM_VendorExtractor);

// What the analyzer does with the best vendor name of one document: the bare test, then the alias mapping.
void BM_VendorAliasBuiltInRule(benchmark::State& state) {
    const tavori::VendorAliasDictionary aliases;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavori::VendorAliasDictionary::isBareCorporateAffix("ファミリーマート"));
        benchmark::DoNotOptimize(aliases.canonicalName("ファミリーマート"));
    }
    perReceipt(state);
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
    perReceipt(state);
}
BENCHMARK(BM_VendorAliasStripCorporateForm);

void BM_VendorAliasLatinName(benchmark::State& state) {
    const tavori::VendorAliasDictionary aliases;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tavori::VendorAliasDictionary::isBareCorporateAffix("Sample Trading Co., Ltd."));
        benchmark::DoNotOptimize(aliases.canonicalName("Sample Trading Co., Ltd."));
    }
    perReceipt(state);
}
BENCHMARK(BM_VendorAliasLatinName);
void BM_AmountExtractor(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::AmountExtractor::extract(lines));
    perReceipt(state);
}
BENCHMARK(BM_AmountExtractor);

void BM_AmountExtractorInvoice(benchmark::State& state) {
    const auto lines = tavori::bench::sampleInvoice();
    for (auto _ : state) benchmark::DoNotOptimize(tavori::AmountExtractor::extract(lines));
    perReceipt(state);
}
BENCHMARK(BM_AmountExtractorInvoice);

// All five extractors and the type detector, as the analyzer runs them on one document.
template <class Lines>
void runAll(const Lines& lines) {
    benchmark::DoNotOptimize(tavori::DocumentTypeDetector::detect(lines));
    benchmark::DoNotOptimize(tavori::DateExtractor::extract(lines));
    benchmark::DoNotOptimize(tavori::AmountExtractor::extract(lines));
    benchmark::DoNotOptimize(tavori::VendorExtractor::extract(lines, "山田商事"));
    benchmark::DoNotOptimize(tavori::RegistrationNumberExtractor::extract(lines));
}

void BM_AllExtractorsReceipt(benchmark::State& state) {
    const auto lines = tavori::bench::sampleReceipt();
    for (auto _ : state) runAll(lines);
    perReceipt(state);
}
BENCHMARK(BM_AllExtractorsReceipt);

void BM_AllExtractorsInvoice(benchmark::State& state) {
    const auto lines = tavori::bench::sampleInvoice();
    for (auto _ : state) runAll(lines);
    perReceipt(state);
}
BENCHMARK(BM_AllExtractorsInvoice);

void BM_AnalyzeReceipt(benchmark::State& state) {
    const tavori::RecognizedDocument document{tavori::bench::sampleReceipt(),
                                              tavori::RecognizedDocument::TextSource::ocr};
    tavori::AnalyzerOptions options;
    options.recipientName = "山田商事";
    for (auto _ : state) benchmark::DoNotOptimize(tavori::ReceiptAnalyzer::analyze(document, options));
    perReceipt(state);
}
BENCHMARK(BM_AnalyzeReceipt);

void BM_AnalyzeInvoice(benchmark::State& state) {
    const tavori::RecognizedDocument document{tavori::bench::sampleInvoice(),
                                              tavori::RecognizedDocument::TextSource::pdfTextLayer};
    tavori::AnalyzerOptions options;
    options.recipientName = "山田商事";
    for (auto _ : state) benchmark::DoNotOptimize(tavori::ReceiptAnalyzer::analyze(document, options));
    perReceipt(state);
}
BENCHMARK(BM_AnalyzeInvoice);

}  // namespace

BENCHMARK_MAIN();
