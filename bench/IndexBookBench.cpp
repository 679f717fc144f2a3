#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "TavoriCore/IndexBookCSV.h"
#include "TavoriKit/indexbook/DuplicateDetector.h"
#include "TavoriKit/indexbook/IndexBookLibrary.h"

// Searching and duplicate checking against a book of 100,000 rows, with 2,000 saved files beside it.
namespace {

namespace fs = std::filesystem;
using namespace tavori;

constexpr std::size_t kRows = 100000;
constexpr std::size_t kSavedFiles = 2000;

const std::vector<std::string>& vendors() {
    static const std::vector<std::string> names = {
        "セブンイレブン",   "ファミリーマート", "ローソン", "Amazon",     "楽天",         "スターバックス",
        "ヨドバシカメラ",   "ビックカメラ",     "ENEOS",    "みどり印刷", "さくら文具店", "喫茶ひまわり",
        "東京電力",         "NTTドコモ",        "AWS",      "Google",     "Apple",        "ＡＢＣ商事",
        "山田税理士事務所", "タクシー日本交通", "JR東日本", "すき家",     "松屋",         "ユニクロ"};
    return names;
}

class Fixture {
  public:
    Fixture() {
        std::string name = (fs::temp_directory_path() / "tavori-bench-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp");
        folder = name;
        book = folder / "索引簿.csv";
        std::mt19937 random(42);
        std::vector<IndexBookEntry> entries;
        for (std::size_t k = 0; k < kRows; ++k) {
            IndexBookEntry e;
            e.sequence = static_cast<std::int64_t>(k + 1);
            e.date =
                DateComponentsValue{2015 + static_cast<int>(random() % 10),
                                    1 + static_cast<int>(random() % 12), 1 + static_cast<int>(random() % 28)};
            e.amount = static_cast<std::int64_t>(random() % 100000);
            e.vendor = vendors()[random() % vendors().size()];
            e.documentType = random() % 4 == 0 ? DocumentType::invoice : DocumentType::receipt;
            e.fileName =
                e.date->formatted("yyyyMMdd") + "_" + e.vendor + "_" + std::to_string(*e.amount) + ".pdf";
            if (random() % 3 == 0)
                e.registrationNumber = "T" + std::to_string(1000000000000 + random() % 1000);
            entries.push_back(std::move(e));
        }
        std::ofstream(book, std::ios::binary) << IndexBookCSV::render(entries, true);
        // Saved documents of a few sizes, so that some new documents share a size with them.
        for (std::size_t k = 0; k < kSavedFiles; ++k)
            std::ofstream(folder / entries[k].fileName, std::ios::binary)
                << std::string(20000 + (k % 50) * 100, static_cast<char>('a' + k % 26));
        // New documents: half of them of a saved file's size, one of them a true copy.
        for (std::size_t k = 0; k < 100; ++k) {
            const fs::path file = folder / "inbox" / ("new" + std::to_string(k) + ".pdf");
            fs::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary)
                << std::string(k % 2 == 0 ? 20000 + (k % 50) * 100 : 7777, static_cast<char>('A' + k % 26));
            const IndexBookEntry& like = entries[(k * 997) % kRows];
            documents.push_back(
                {file, DuplicateRecord{like.date, k % 3 == 0 ? like.amount : std::optional<std::int64_t>(123),
                                       like.vendor, file.filename().string()}});
        }
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    fs::path folder;
    fs::path book;
    std::vector<DuplicateDocument> documents;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

IndexBookQuery quarterQuery() {
    IndexBookQuery q;
    q.from = DateComponentsValue{2024, 1, 1};
    q.to = DateComponentsValue{2024, 3, 31};
    q.minAmount = 1000;
    q.maxAmount = 50000;
    q.vendor = "セブン";
    return q;
}

// What `tavori search` does: read the book and search it.
void BM_ReadAndSearch(benchmark::State& state) {
    const Fixture& f = fixture();
    std::size_t found = 0;
    for (auto _ : state) {
        const std::vector books{IndexBookLibrary::read(f.book)};
        found = IndexBookLibrary::search(books, quarterQuery()).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["hits"] = static_cast<double>(found);
}
BENCHMARK(BM_ReadAndSearch)->Unit(benchmark::kMillisecond);

void BM_ReadOnly(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(IndexBookLibrary::read(fixture().book));
}
BENCHMARK(BM_ReadOnly)->Unit(benchmark::kMillisecond);

// A window that keeps the book loaded: one search, by the condition the arg names.
void BM_SearchLoaded(benchmark::State& state) {
    const std::vector books{IndexBookLibrary::read(fixture().book)};
    IndexBookQuery q;
    switch (state.range(0)) {
        case 0:
            q = quarterQuery();
            break;
        case 1:
            q.vendor = "ｅｎｅｏｓ";
            break;  // vendor alone, about 1 row in 24
        case 2:
            q.minAmount = 0;
            break;  // every row, with a file check each
        default:
            q.registrationNumber = "T1000000000500";
            break;
    }
    std::size_t found = 0;
    for (auto _ : state) {
        found = IndexBookLibrary::search(books, q).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["hits"] = static_cast<double>(found);
}
BENCHMARK(BM_SearchLoaded)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// Building the duplicate index of the book (once per book change).
void BM_DuplicateIndexBuild(benchmark::State& state) {
    const auto rows = IndexBookLibrary::read(fixture().book).rows;
    for (auto _ : state) {
        DuplicateDetector detector(VendorAliasDictionary{});
        detector.setBook(fixture().book, rows);
        benchmark::DoNotOptimize(detector);
    }
}
BENCHMARK(BM_DuplicateIndexBuild)->Unit(benchmark::kMillisecond);

// Checking 100 new documents against the book, its 2,000 saved files and each other. The first iteration
// reads the contents it needs; later ones reuse the digests, as a window that checks again does.
void BM_DuplicateCheckPerDocument(benchmark::State& state) {
    const Fixture& f = fixture();
    DuplicateDetector detector(VendorAliasDictionary{});
    detector.setBook(f.book, IndexBookLibrary::read(f.book).rows);
    std::size_t warned = 0;
    for (auto _ : state) {
        warned = 0;
        for (const auto& list : detector.check(f.documents)) warned += list.empty() ? 0 : 1;
    }
    state.counters["warned"] = static_cast<double>(warned);
    state.counters["ms_per_document"] =
        benchmark::Counter(static_cast<double>(state.iterations() * f.documents.size()) / 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DuplicateCheckPerDocument)->Unit(benchmark::kMillisecond);

// The same with a cold digest cache every time: each document of a saved file's size is read, and so are the
// saved files of that size.
void BM_DuplicateCheckPerDocumentCold(benchmark::State& state) {
    const Fixture& f = fixture();
    const auto rows = IndexBookLibrary::read(f.book).rows;
    for (auto _ : state) {
        state.PauseTiming();
        DuplicateDetector detector(VendorAliasDictionary{});
        detector.setBook(f.book, rows);
        state.ResumeTiming();
        benchmark::DoNotOptimize(detector.check(f.documents));
    }
    state.counters["ms_per_document"] =
        benchmark::Counter(static_cast<double>(state.iterations() * f.documents.size()) / 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DuplicateCheckPerDocumentCold)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
