// Image to merged, re-read lines against one plain Tesseract recognition of the same receipt; the counter
// x_plain is the ratio of the two.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "TavoriKit/DocumentTextExtractor.h"
#include "TavoriKit/OcrProcess.h"
#include "TavoriKit/TesseractEngine.h"

namespace {

std::filesystem::path receiptFile() {
    const char* env = std::getenv("TAVORI_SHARED_DATA");
    const std::filesystem::path root = env ? env : TAVORI_DEFAULT_DATA;
    return root / "jomb-receipts-ja/v0.2.0/images_clean/receipt_v020_bakery_001_clean.png";
}

double plainSeconds() {
    static const double seconds = [] {
        const tavori::Image image = tavori::DocumentTextExtractor::loadImage(receiptFile());
        auto& engine = tavori::TesseractEngine::forThisThread();
        (void)engine.recognizeText(image, {});
        const auto start = std::chrono::steady_clock::now();
        constexpr int runs = 3;
        for (int i = 0; i < runs; ++i) benchmark::DoNotOptimize(engine.recognizeText(image, {}));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
    }();
    return seconds;
}

void BM_PlainTesseract(benchmark::State& state) {
    const tavori::Image image = tavori::DocumentTextExtractor::loadImage(receiptFile());
    if (image.empty()) return state.SkipWithError("benchmark receipt not found");
    auto& engine = tavori::TesseractEngine::forThisThread();
    for (auto _ : state) benchmark::DoNotOptimize(engine.recognizeText(image, {}));
}
BENCHMARK(BM_PlainTesseract)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ImageToLines(benchmark::State& state) {
    if (!std::filesystem::exists(receiptFile())) return state.SkipWithError("benchmark receipt not found");
    const tavori::DocumentTextExtractor extractor;
    const double plain = plainSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(extractor.extract(receiptFile()));
    const double each =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / state.iterations();
    state.counters["x_plain"] = each / plain;
}
BENCHMARK(BM_ImageToLines)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
