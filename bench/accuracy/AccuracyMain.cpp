// bench_accuracy: reads the labelled benchmark documents and prints, per set and variant, the share of
// documents whose date, total and vendor come through, and seconds per document. Run by hand to compare
// recogniser settings:
//   bench_accuracy --psm 6 --target 40 [--no-reread] [--no-scale] [--sets jomb,sroie] [--failures 5]
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FieldPicker.h"
#include "GroundTruth.h"
#include "TavoriKit/DocumentTextExtractor.h"
#include "TavoriKit/OcrProcess.h"

namespace {

using tavori::bench::Sample;

struct Outcome {
    const Sample* sample = nullptr;
    bool date = false, dateYearFirst = false, total = false, vendor = false;
    bool rescued = false;  // the date or total came through only in a re-read
    int alternatives = 0, gained = 0, lost = 0;
    double seconds = 0;
    std::string error;
    std::vector<std::string> lines;
};

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

std::string percent(int count, int of) {
    return std::to_string(of ? (100 * count + of / 2) / of : 0) + "% (" + std::to_string(count) + "/" +
           std::to_string(of) + ")";
}

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string part; std::getline(in, part, ',');)
        if (!part.empty()) out.push_back(part);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);

    CLI::App app{"Reading accuracy over the shared benchmark documents"};
    std::string dataRoot = TAVORI_DEFAULT_DATA;
    if (const char* env = std::getenv("TAVORI_SHARED_DATA")) dataRoot = env;
    std::string sets = "jomb,sroie,invoice2data";
    int failures = 5;
    int limit = 0;
    bool dump = false;
    tavori::DocumentTextExtractor extractor;
    app.add_option("--data", dataRoot, "shared data folder");
    app.add_option("--sets", sets, "comma-separated: jomb, sroie, invoice2data");
    app.add_option("--psm", extractor.tuning.pageSegmentation, "Tesseract page segmentation mode");
    app.add_option("--target", extractor.tuning.rereadTargetHeight, "re-read target line height in pixels");
    app.add_option("--reread-psm", extractor.tuning.rereadSegmentation, "segmentation mode of re-reads");
    app.add_flag(
        "--no-reread", [&](std::int64_t) { extractor.tuning.reread = false; }, "skip zoomed re-reads");
    app.add_flag(
        "--no-scale", [&](std::int64_t) { extractor.tuning.scaleLargeImages = false; },
        "keep large images at full size");
    app.add_option("--failures", failures, "failures listed per set");
    app.add_option("--limit", limit, "documents per set and variant (0: all)");
    app.add_flag("--dump", dump, "print the recognised lines of failures");
    std::string tessdata, languages;
    app.add_option("--tessdata", tessdata, "tessdata folder (sets TAVORI_TESSDATA)");
    app.add_option("--languages", languages, "Tesseract languages (sets TAVORI_OCR_LANGUAGES)");
    CLI11_PARSE(app, argc, argv);
    if (!tessdata.empty()) setenv("TAVORI_TESSDATA", tessdata.c_str(), 1);
    if (!languages.empty()) setenv("TAVORI_OCR_LANGUAGES", languages.c_str(), 1);

    const auto samples = tavori::bench::loadSamples(dataRoot, split(sets));
    std::cout << "settings: " << extractor.tuning << " tessdata " << tavori::TesseractEngine::tessdataFolder()
              << " " << tavori::TesseractEngine::languages() << "\n";
    std::map<std::pair<std::string, std::string>, std::vector<Outcome>> groups;
    for (const auto& sample : samples) {
        auto& group = groups[{sample.set, sample.variant}];
        if (limit > 0 && static_cast<int>(group.size()) >= limit) continue;
        Outcome outcome;
        outcome.sample = &sample;
        const auto start = std::chrono::steady_clock::now();
        try {
            if (!tavori::DocumentTextExtractor::isSupported(sample.file))
                throw std::runtime_error("unsupported type");
            const auto document = extractor.extract(sample.file);
            const auto picked = tavori::bench::pickFields(document, sample);
            // A field without a label cannot be checked and counts as read.
            outcome.date = sample.date.empty() || picked.date.has_value();
            outcome.dateYearFirst = sample.date.empty() || picked.dateYearFirst;
            outcome.total = !sample.total || picked.amount.has_value();
            outcome.vendor = sample.vendor.empty() || !picked.vendor.empty();
            outcome.rescued = picked.amountOnlyInRereads || picked.dateOnlyInRereads;
            outcome.alternatives = picked.alternatives;
            outcome.gained = picked.rereadsGained;
            outcome.lost = picked.rereadsLost;
            for (const auto& line : document.sortedLines()) outcome.lines.push_back(line.text);
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::cerr << '.' << std::flush;
        group.push_back(std::move(outcome));
    }
    std::cerr << '\n';

    std::cout << "| set | variant | n | date | date, year first | total | vendor | all three | rescued by "
                 "re-read | alternatives/doc | re-reads gained/lost | mean s | p90 s |\n"
              << "|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const auto& [key, outcomes] : groups) {
        int n = 0, date = 0, yearFirst = 0, total = 0, vendor = 0, all = 0, rescued = 0, alternatives = 0,
            gained = 0, lost = 0;
        std::vector<double> seconds;
        for (const auto& o : outcomes) {
            if (o.error == "unsupported type") continue;
            ++n;
            date += o.date;
            yearFirst += o.dateYearFirst;
            total += o.total;
            vendor += o.vendor;
            all += o.date && o.total && o.vendor;
            rescued += o.rescued;
            alternatives += o.alternatives;
            gained += o.gained;
            lost += o.lost;
            seconds.push_back(o.seconds);
        }
        if (n == 0) continue;
        double mean = 0;
        for (double s : seconds) mean += s;
        mean = seconds.empty() ? 0 : mean / static_cast<double>(seconds.size());
        char times[64];
        std::snprintf(times, sizeof times, "%.2f | %.2f", mean, percentile(seconds, 0.9));
        std::cout << "| " << key.first << " | " << key.second << " | " << n << " | " << percent(date, n)
                  << " | " << percent(yearFirst, n) << " | " << percent(total, n) << " | "
                  << percent(vendor, n) << " | " << percent(all, n) << " | " << rescued << " | "
                  << std::to_string(static_cast<double>(alternatives) / n).substr(0, 4) << " | " << gained
                  << "/" << lost << " | " << times << " |\n";
    }

    for (const auto& [key, outcomes] : groups) {
        int shown = 0;
        for (const auto& o : outcomes) {
            if (shown >= failures) break;
            if (o.error == "unsupported type" || (o.error.empty() && o.date && o.total && o.vendor)) continue;
            if (shown++ == 0) std::cout << "\nfailures, " << key.first << " " << key.second << ":\n";
            std::cout << "  " << o.sample->file.filename().string() << ":";
            if (!o.error.empty()) std::cout << " error " << o.error;
            if (!o.date) std::cout << " date " << o.sample->date;
            if (!o.total)
                std::cout << " total " << (o.sample->total ? std::to_string(*o.sample->total) : "?");
            if (!o.vendor) std::cout << " vendor " << o.sample->vendor;
            std::cout << "\n";
            if (dump)
                for (const auto& line : o.lines) std::cout << "      | " << line << "\n";
        }
    }
    return 0;
}
