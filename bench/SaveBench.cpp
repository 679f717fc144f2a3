// `tavori save` end to end, as a user runs it on a folder: 200 text-layer PDFs and 50 receipt images, each
// copied under its new name into a destination folder with an index book. Printed from one run:
//   s_per_doc, peak_MiB   of the command (a child process; its own peak resident memory)
//   x_pdftotext           save of the PDFs ÷ `pdftotext -layout` run once per PDF
//   x_tesseract           save of the images ÷ one plain Tesseract recognition per image, in this process
// The ratios use one worker (TAVORI_JOBS=1) so both sides read one document at a time; the *_2jobs rows show
// the default of one worker per core. Run: build/bench/bench_save; TAVORI_SHARED_DATA overrides
// ../shared/data.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/ImageLoader.h"
#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriKit/reading/TesseractEngine.h"
#include "samples/SamplePdf.h"

namespace {

namespace fs = std::filesystem;
using tavori::bench::ChildRun;
using tavori::bench::Clock;
using tavori::bench::dataRoot;
using tavori::bench::runChild;
using tavori::bench::secondsSince;

// A scratch folder, removed with everything in it.
struct Scratch {
    fs::path root = fs::temp_directory_path() / ("tavori-bench-save-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(root); }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

std::vector<fs::path> writePdfs(const fs::path& folder, int count) {
    static const std::vector<std::string> vendors{"株式会社サンプル商事", "ひだまりカフェ",
                                                  "中央コインパーク",     "まちのベーカリー",
                                                  "山田文具店",           "ABC商店"};
    fs::create_directories(folder);
    std::vector<fs::path> files;
    for (int i = 0; i < count; ++i) {
        auto document = tavori::SamplePdf::receipt(vendors[static_cast<std::size_t>(i) % vendors.size()],
                                                   1 + i % 12, 1 + i % 28, 300 + 37L * i);
        const fs::path file = folder / ("scan" + std::to_string(i) + ".pdf");
        tavori::SamplePdf::write(file, document);
        files.push_back(file);
    }
    return files;
}

std::vector<fs::path> copyImages(const fs::path& folder, std::size_t count) {
    fs::create_directories(folder);
    std::vector<fs::path> sources;
    const fs::path jomb = dataRoot() / "jomb-receipts-ja/v0.2.0";
    std::error_code ec;
    for (const auto& sub :
         {jomb / "images_clean", jomb / "images_noisy", dataRoot() / "sroie-receipts-en/public/images"})
        for (const auto& entry : fs::directory_iterator(sub, ec)) sources.push_back(entry.path());
    std::sort(sources.begin(), sources.end());
    std::vector<fs::path> files;
    for (const auto& source : sources) {
        if (files.size() == count) break;
        if (!tavori::DocumentTextExtractor::isSupported(source)) continue;
        const fs::path file = folder / ("photo" + std::to_string(files.size()) + source.extension().string());
        fs::copy_file(source, file, fs::copy_options::overwrite_existing);
        files.push_back(file);
    }
    return files;
}

// `tavori save FOLDER --mode copy --dest DEST`, with settings of its own and no local model.
ChildRun save(const fs::path& folder, const fs::path& destination, const fs::path& home,
              const std::string& jobs) {
    fs::create_directories(home);
    std::vector<std::string> env{"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                 "TAVORI_LLM_URL="};
    if (!jobs.empty()) env.push_back("TAVORI_JOBS=" + jobs);
    return runChild({TAVORI_CLI, "save", folder.string(), "--mode", "copy", "--dest", destination.string()},
                    env);
}

// Saves the scratch folder's "in" with one worker and with one per core, and reports both against the
// baseline's seconds for the same `count` documents.
void saveAndReport(benchmark::State& state, const fs::path& root, std::size_t count,
                   const std::string& baseline, double baselineSeconds) {
    const ChildRun one = save(root / "in", root / "out1", root / "home", "1");
    const ChildRun two = save(root / "in", root / "out2", root / "home", "");
    if (!one.ok || !two.ok) return state.SkipWithError("tavori save failed");
    const double n = static_cast<double>(count);
    state.counters["s_per_doc"] = one.seconds / n;
    state.counters["s_per_doc_2jobs"] = two.seconds / n;
    state.counters[baseline + "_s_per_doc"] = baselineSeconds / n;
    state.counters["x_" + baseline] = one.seconds / baselineSeconds;
    state.counters["peak_MiB"] = one.peakMiB;
    state.counters["peak_MiB_2jobs"] = two.peakMiB;
}

void BM_SavePdfs(benchmark::State& state) {
    const Scratch scratch;
    const auto pdfs = writePdfs(scratch.root / "in", 200);
    if (!runChild({"pdftotext", "-v"}).ok) return state.SkipWithError("pdftotext is not installed");
    for (auto _ : state) {
        double pdftotext = 0;
        for (const auto& pdf : pdfs) {
            const ChildRun r = runChild({"pdftotext", "-layout", pdf.string(), "-"});
            if (!r.ok) return state.SkipWithError("pdftotext failed");
            pdftotext += r.seconds;
        }
        saveAndReport(state, scratch.root, pdfs.size(), "pdftotext", pdftotext);
    }
}
BENCHMARK(BM_SavePdfs)->Unit(benchmark::kSecond)->Iterations(1);

void BM_SaveImages(benchmark::State& state) {
    const Scratch scratch;
    const auto images = copyImages(scratch.root / "in", 50);
    if (images.size() < 50) return state.SkipWithError("fewer than 50 benchmark images found");
    const tavori::DocumentTextExtractor extractor;
    tavori::RecognitionSettings settings;
    settings.pageSegmentation = extractor.tuning.pageSegmentation;
    auto& engine = tavori::TesseractEngine::forThisThread();
    (void)engine.recognizeText(tavori::ImageLoader::load(images.front()), settings);
    for (auto _ : state) {
        double tesseract = 0;
        for (const auto& image : images) {
            const auto prepared = tavori::DocumentTextExtractor::preparedForRecognition(
                tavori::ImageLoader::load(image), extractor.tuning.scaleLargeImages);
            const auto start = Clock::now();
            benchmark::DoNotOptimize(engine.recognizeText(prepared, settings));
            tesseract += secondsSince(start);
        }
        saveAndReport(state, scratch.root, images.size(), "tesseract", tesseract);
    }
}
BENCHMARK(BM_SaveImages)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
