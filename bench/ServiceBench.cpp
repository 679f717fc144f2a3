// The analysis service's speed targets, measured side by side in one run over 20 receipt images (10 clean and
// 10 noisy Japanese receipts), rules only:
//   x_one         time with one worker ÷ time with two workers (target: at least 1.8 on an idle machine)
//   overhead_pct  time through the service with one worker against the same readings run directly on one
//                 thread, in percent (target: under 2); overhead_cpu_pct the same in processor time
// Each pass starts fresh threads, so each pays for its recognisers' start-up once, as the application does.
// Run: build/bench/bench_service; TAVORI_SHARED_DATA overrides ../shared/data.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriKit/service/AnalysisService.h"

namespace {

namespace fs = std::filesystem;
using tavori::bench::Clock;

// Processor seconds of the whole process so far: on a machine shared with other work, the overhead shows here
// more steadily than in elapsed time.
double processorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::vector<fs::path> twentyReceipts() {
    const fs::path jomb = tavori::bench::dataRoot() / "jomb-receipts-ja/v0.2.0";
    std::vector<fs::path> images = tavori::bench::filesIn(jomb / "images_clean", ".png", 10);
    for (auto& p : tavori::bench::filesIn(jomb / "images_noisy", ".png", 10)) images.push_back(p);
    return images;
}

tavori::ReceiptPipeline rulesOnly() {
    tavori::ReceiptPipeline pipeline;
    pipeline.useSemantic = false;
    return pipeline;
}

// Seconds for every image through a fresh service with `workers` workers; false in `ok` when one failed.
double throughService(const std::vector<fs::path>& images, std::size_t workers, bool& ok) {
    tavori::AnalysisService::Configuration configuration;
    configuration.workers = workers;
    configuration.pipeline = rulesOnly();
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t done = 0;
    const auto start = Clock::now();
    {
        tavori::AnalysisService service(configuration);
        for (const auto& image : images)
            service.analyze(image, {},
                            [&](tavori::AnalysisService::RequestId, tavori::AnalysisService::Outcome o) {
                                const std::lock_guard lock(mutex);
                                ok = ok && std::holds_alternative<tavori::PipelineResult>(o);
                                ++done;
                                changed.notify_one();
                            });
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return done == images.size(); });
    }
    return tavori::bench::secondsSince(start);
}

// The same readings, one after another on one fresh thread, without the service.
double direct(const std::vector<fs::path>& images, bool& ok) {
    const auto start = Clock::now();
    std::thread([&] {
        const tavori::ReceiptPipeline pipeline = rulesOnly();
        for (const auto& image : images) try {
                (void)pipeline.run(image, {});
            } catch (...) {
                ok = false;
            }
    }).join();
    return tavori::bench::secondsSince(start);
}

void BM_Service(benchmark::State& state) {
    const auto images = twentyReceipts();
    if (images.size() != 20) {
        state.SkipWithError("the 20 receipt images of the shared data are missing");
        return;
    }
    for (auto _ : state) {
        bool ok = true;
        const double cpu0 = processorSeconds();
        const double directSeconds = direct(images, ok);
        const double cpu1 = processorSeconds();
        const double oneWorker = throughService(images, 1, ok);
        const double cpu2 = processorSeconds();
        const double twoWorkers = throughService(images, 2, ok);
        if (!ok) state.SkipWithError("an image could not be read");
        state.counters["direct_s"] = directSeconds;
        state.counters["one_s"] = oneWorker;
        state.counters["two_s"] = twoWorkers;
        state.counters["x_one"] = oneWorker / twoWorkers;
        state.counters["overhead_pct"] = 100.0 * (oneWorker / directSeconds - 1.0);
        state.counters["direct_cpu_s"] = cpu1 - cpu0;
        state.counters["one_cpu_s"] = cpu2 - cpu1;
        state.counters["overhead_cpu_pct"] = 100.0 * ((cpu2 - cpu1) / (cpu1 - cpu0) - 1.0);
    }
}
BENCHMARK(BM_Service)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
