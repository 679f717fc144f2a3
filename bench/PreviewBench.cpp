// How long the document preview holds the GUI thread while it opens a large scan. Run by hand:
//   build/bench/bench_preview
// For each file: the time setFile() takes on the GUI thread, the time until the page is shown, and the
// longest gap between two turns of the event loop meanwhile (a 5 ms timer keeps it turning), which is what a
// user would feel as a stall.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "TavoriName/DocumentPreview.h"

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path path = [] {
        std::string name = (fs::temp_directory_path() / "tavori-preview-bench-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) std::abort();
        return fs::path(name);
    }();
    return path;
}

// A 600-dpi A4 scan: 4960 × 7016 pixels, about 35 megapixels, as a JPEG.
fs::path largeScan() {
    const fs::path path = folder() / "scan600.jpg";
    if (fs::exists(path)) return path;
    QImage image(4960, 7016, QImage::Format_RGB32);
    image.fill(QColor(245, 243, 236));
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 120));
    for (int line = 0; line < 40; ++line)
        painter.drawText(400, 400 + line * 160, QStringLiteral("領収書 合計 ¥%1").arg(line * 1234));
    painter.end();
    image.save(QString::fromStdString(path.string()), "JPG", 90);
    return path;
}

// A 50-page A4 PDF.
fs::path longPdf() {
    const fs::path path = folder() / "long.pdf";
    if (fs::exists(path)) return path;
    QPdfWriter writer(QString::fromStdString(path.string()));
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    for (int page = 0; page < 50; ++page) {
        if (page > 0) writer.newPage();
        painter.drawText(200, 400, QStringLiteral("請求書 %1").arg(page + 1));
    }
    return path;
}

void openFile(benchmark::State& state, const fs::path& path) {
    tavori::DocumentPreview preview;
    preview.resize(560, 700);
    preview.show();
    double setFileMs = 0, shownMs = 0, longestGapMs = 0;
    for (auto _ : state) {
        // Alternate with a tiny file so that every iteration really loads `path`.
        preview.setFile(folder() / "none.png");
        QSignalSpy(&preview, &tavori::DocumentPreview::loadFinished).wait(5000);

        QElapsedTimer gapClock;
        double longestGap = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, gapClock.nsecsElapsed() / 1e6);
            gapClock.restart();
        });
        QSignalSpy finished(&preview, &tavori::DocumentPreview::loadFinished);
        QElapsedTimer clock;
        clock.start();
        preview.setFile(path);
        const double returned = clock.nsecsElapsed() / 1e6;
        gapClock.start();
        ticker.start(5);
        finished.wait(60000);
        const double shown = clock.nsecsElapsed() / 1e6;
        ticker.stop();
        state.SetIterationTime(shown / 1e3);
        setFileMs += returned;
        shownMs += shown;
        longestGapMs = std::max(longestGapMs, longestGap);
        if (finished.isEmpty() || !finished.front().front().toBool()) state.SkipWithError("not shown");
    }
    const double n = double(state.iterations());
    state.counters["setFile_ms"] = setFileMs / n;
    state.counters["shown_ms"] = shownMs / n;
    state.counters["longest_gui_gap_ms"] = longestGapMs;
}

void BM_OpenLargeScan(benchmark::State& state) {
    openFile(state, largeScan());
}
BENCHMARK(BM_OpenLargeScan)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenLongPdf(benchmark::State& state) {
    openFile(state, longPdf());
}
BENCHMARK(BM_OpenLongPdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(folder(), ec);
    return 0;
}
