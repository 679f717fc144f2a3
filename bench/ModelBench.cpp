// How the application model behaves under a large drop, measured on the real event loop:
//  1. adding 1,000 files: how long addFiles() holds the loop, and the longest gap between two ticks of a 1 ms
//     timer until every file has been read (the longest time the window would not respond);
//  2. 500 analyses queued on one worker: resident memory before, right after queuing, and its peak while they
//     are read.
// Usage: bench_model [files=1000] [queued=500] > /dev/null (standard output carries the development log);
// a count of 0 skips that part, so that each can be measured in a fresh process.

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "BenchSupport.h"
#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriName/AppModel.h"
#include "samples/SamplePdf.h"

namespace fs = std::filesystem;
using tavori::AppModel;
using tavori::bench::Clock;
using tavori::bench::secondsSince;

namespace {

class NoDesktop : public tavori::DesktopServices {
  public:
    std::optional<fs::path> chooseFolder(const tavori::FolderChoice&) override { return std::nullopt; }
    std::optional<fs::path> chooseSaveLocation(const tavori::SaveChoice&) override { return std::nullopt; }
    void revealInFileManager(const fs::path&) override {}
};

double residentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

fs::path makeDocuments(const fs::path& folder, int count) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "r%04d.pdf", i);
        tavori::SamplePdf::write(folder / name,
                                 tavori::SamplePdf::receipt("ベンチ商店" + std::to_string(i % 50), 1 + i % 12,
                                                            1 + i % 28, 100 + i));
    }
    return folder;
}

std::unique_ptr<AppModel> makeModel(const fs::path& home, NoDesktop& desktop, std::size_t workers) {
    tavori::AnalysisService::Configuration configuration;
    configuration.workers = workers;
    configuration.pipeline.useSemantic = false;
    configuration.pipeline.model = {};
    return std::make_unique<AppModel>(tavori::AppSettings(), tavori::SettingsStore(home / "defaults.json"),
                                      desktop,
                                      std::make_unique<tavori::AnalysisService>(std::move(configuration)));
}

bool allThumbnails(const AppModel& model) {
    for (const tavori::DocumentItem* item : model.items())
        if (!item->thumbnail() && item->status() != tavori::DocumentItem::Status::failed) return false;
    return true;
}

// Runs the loop until nothing is left to read, with a 1 ms ticker; returns the longest gap between ticks.
double runUntilRead(AppModel& model, const std::function<void()>& start,
                    const std::function<void()>& onTick) {
    QElapsedTimer sinceTick;
    qint64 longestNs = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestNs = std::max(longestNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
        if (onTick) onTick();
        if (model.itemCount() > 0 && model.readingProgress().pending == 0 && allThumbnails(model))
            QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        ticker.start();
        start();
    });
    QCoreApplication::exec();
    return static_cast<double>(longestNs) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::stoi(argv[1]) : 1000;
    const int queued = argc > 2 ? std::stoi(argv[2]) : 500;

    const fs::path root = fs::temp_directory_path() / ("tavori-bench-model-" + std::to_string(::getpid()));
    NoDesktop desktop;

    if (files > 0) {
        const fs::path folder = makeDocuments(root / "drop", files);
        auto model = makeModel(root, desktop, 0);
        double addMs = 0;
        const auto expandStart = Clock::now();
        const std::size_t listed = AppModel::expand({folder}).size();
        std::fprintf(stderr, "expand() of a folder of %zu: %.1f ms\n", listed,
                     secondsSince(expandStart) * 1000);
        const auto started = Clock::now();
        const double longest = runUntilRead(*model,
                                            [&] {
                                                const auto before = Clock::now();
                                                model->addFiles({folder});
                                                addMs = secondsSince(before) * 1000;
                                            },
                                            {});
        std::fprintf(
            stderr,
            "adding %d files: addFiles() %.1f ms; longest event-loop stall until all were read %.1f ms "
            "(%d items, %.1f s, %zu workers)\n",
            files, addMs, longest, model->itemCount(), secondsSince(started),
            tavori::AnalysisService::workerCount());
    }

    if (queued > 0) {
        const fs::path folder = makeDocuments(root / "queue", queued);
        auto model = makeModel(root, desktop, 1);
        const double before = residentMiB();
        double afterQueuing = 0;
        const auto started = Clock::now();
        double peak = 0;
        runUntilRead(
            *model, [&] { model->addFiles({folder}); },
            [&] {
                const double now = residentMiB();
                peak = std::max(peak, now);
                // Once every item has been handed to the service, the queue is at its longest.
                if (afterQueuing == 0 &&
                    std::none_of(model->items().begin(), model->items().end(), [](auto* item) {
                        return item->status() == tavori::DocumentItem::Status::queued;
                    }))
                    afterQueuing = now;
            });
        std::size_t thumbnailBytes = 0;
        for (const tavori::DocumentItem* item : model->items())
            if (item->thumbnail()) thumbnailBytes += item->thumbnail()->pixels.size();
        std::fprintf(
            stderr,
            "%d analyses queued on 1 worker: resident %.1f MiB before, %.1f MiB once all were queued "
            "(+%.1f), peak %.1f MiB while read, %.1f MiB after, %.1f s (thumbnails %.1f MiB)\n",
            queued, before, afterQueuing, afterQueuing - before, peak, residentMiB(), secondsSince(started),
            static_cast<double>(thumbnailBytes) / (1 << 20));
    }

    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
