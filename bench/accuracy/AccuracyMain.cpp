// bench_accuracy: reads the labelled benchmark documents, runs the rule-based analyzer on what was read and
// prints, per set and variant, the share of documents whose date, total and vendor come out right, beside the
// share whose expected values are in the recognised text at all, and seconds per document. Run by hand:
//   bench_accuracy [--generated DIR] --psm 6 --target 32 [--no-reread] [--no-scale] [--sets jomb,sroie]
//   [--failures 5]
//                  [--jobs 2] [--cache DIR]
// With --cache the recognised text of each document is kept per setting, so the rules can be measured again
// in seconds; the seconds shown are then those of the first reading.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FieldPicker.h"
#include "GroundTruth.h"
#include "TavoriCore/AmountExtractor.h"
#include "TavoriCore/TelephoneNumberExtractor.h"
#include "TavoriCore/VendorExtractor.h"
#include "TavoriCore/VendorMemory.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriKit/service/AnalysisService.h"

namespace {

namespace fs = std::filesystem;
using tavori::RecognizedDocument;
using tavori::bench::Sample;

struct Outcome {
    const Sample* sample = nullptr;
    tavori::bench::FieldScore picked;
    tavori::bench::TextPresence present;
    tavori::ReceiptFields fields;
    double seconds = 0;
    std::string error;
    std::vector<std::string> lines;
    std::string amountLine, vendorLine;  // where the picked amount and vendor came from
    RecognizedDocument document;
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

std::string share(int count, int of) {
    return std::to_string(of ? (100 * count + of / 2) / of : 0) + "%";
}

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string part; std::getline(in, part, ',');)
        if (!part.empty()) out.push_back(part);
    return out;
}

// The recognised text of one document under one setting, kept between runs.
class ReadingCache {
  public:
    ReadingCache(fs::path folder, std::string setting)
        : folder_(std::move(folder)), setting_(std::move(setting)) {
        if (!folder_.empty()) fs::create_directories(folder_);
    }

    bool load(const fs::path& file, RecognizedDocument& document, double& seconds) const {
        if (folder_.empty()) return false;
        std::ifstream in(entry(file));
        if (!in) return false;
        try {
            const auto j = nlohmann::json::parse(in);
            document.source = j.at("source") == "pdf" ? RecognizedDocument::TextSource::pdfTextLayer
                                                      : RecognizedDocument::TextSource::ocr;
            for (const auto& l : j.at("lines"))
                document.lines.push_back({l.at("text"), l.at("top"), l.at("left"), l.at("page"),
                                          l.at("confidence"), l.at("alternatives")});
            seconds = j.at("seconds");
            return true;
        } catch (const std::exception&) {
            document = {};
            return false;
        }
    }

    void store(const fs::path& file, const RecognizedDocument& document, double seconds) const {
        if (folder_.empty()) return;
        nlohmann::json j{
            {"file", file.string()},
            {"source", document.source == RecognizedDocument::TextSource::pdfTextLayer ? "pdf" : "ocr"},
            {"seconds", seconds},
            {"lines", nlohmann::json::array()}};
        for (const auto& l : document.lines)
            j["lines"].push_back({{"text", l.text},
                                  {"top", l.top},
                                  {"left", l.left},
                                  {"page", l.page},
                                  {"confidence", l.confidence},
                                  {"alternatives", l.alternatives}});
        const fs::path target = entry(file);
        const fs::path partial = target.string() + ".part";
        std::ofstream(partial) << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        fs::rename(partial, target);
    }

  private:
    fs::path entry(const fs::path& file) const {
        char name[32];
        std::snprintf(name, sizeof name, "%016zx.json",
                      std::hash<std::string>{}(setting_ + "\n" + file.string()));
        return folder_ / name;
    }

    fs::path folder_;
    std::string setting_;
};

// The score of one document's reading.
Outcome evaluate(const Sample& sample, const RecognizedDocument& document, tavori::ReceiptFields fields,
                 double seconds) {
    Outcome outcome;
    outcome.sample = &sample;
    outcome.seconds = seconds;
    outcome.fields = std::move(fields);
    outcome.picked = tavori::bench::score(outcome.fields, sample);
    outcome.present = tavori::bench::presence(document, sample);
    outcome.document = document;
    const auto sorted = document.sortedLines();
    for (const auto& line : sorted) {
        std::string shown = line.text;
        for (const auto& alternative : line.alternatives) shown += "   ‖ " + alternative;
        outcome.lines.push_back(std::move(shown));
    }
    if (const auto amount = tavori::AmountExtractor::best(sorted)) outcome.amountLine = amount->raw;
    if (const auto vendor = tavori::VendorExtractor::best(sorted, std::nullopt))
        outcome.vendorLine = sorted[static_cast<std::size_t>(vendor->lineIndex)].text;
    return outcome;
}

Outcome failed(const Sample& sample, std::string error) {
    Outcome outcome;
    outcome.sample = &sample;
    outcome.error = std::move(error);
    return outcome;
}

// Where a wrong field was lost: not in the text at all, or in the text and not picked.
const char* cause(bool present) {
    return present ? "rule" : "reading";
}

// Vendors of generated shops that print several receipts each: right on first sight, and right on the later
// receipts of each shop once the user corrected (or confirmed) the vendor of its first one, which remembers
// the name against that receipt's registration and telephone numbers as read. Also how many wrong vendors
// were rated high, the one mistake the user is not asked to look at.
void reportShops(const std::vector<Outcome>& outcomes, const tavori::ReceiptPipeline& pipeline) {
    std::map<int, std::vector<const Outcome*>> shops;
    for (const auto& o : outcomes)
        if (o.error.empty() && o.sample->shop > 0) shops[o.sample->shop].push_back(&o);
    if (shops.empty()) return;
    using Level = tavori::FieldConfidence::Level;
    struct Tally {
        int n = 0, right = 0, wrongHigh = 0, logoN = 0, logoRight = 0;
        void add(const Outcome& o, const tavori::ReceiptFields& f) {
            const bool ok = tavori::bench::sameVendor(f.vendor, o.sample->vendor);
            ++n;
            right += ok;
            wrongHigh += !ok && f.confidence.vendor == Level::high;
            logoN += o.sample->logoOnly;
            logoRight += o.sample->logoOnly && ok;
        }
    };
    Tally first, later, laterFirstSight;
    tavori::VendorMemory memory;
    for (const auto& [shop, receipts] : shops) {
        for (const Outcome* o : receipts) first.add(*o, o->fields);
        const Outcome& corrected = *receipts.front();
        if (corrected.fields.registrationNumber)
            memory.remember(tavori::VendorMemory::Kind::registrationNumber,
                            *corrected.fields.registrationNumber, corrected.sample->vendor);
        const auto telephones = tavori::TelephoneNumberExtractor::extract(corrected.document.sortedLines());
        if (!telephones.empty())
            memory.remember(tavori::VendorMemory::Kind::telephone, telephones.front().digits,
                            corrected.sample->vendor);
    }
    tavori::AnalyzerOptions options;
    options.vendors = memory;
    for (const auto& [shop, receipts] : shops)
        for (std::size_t i = 1; i < receipts.size(); ++i) {
            laterFirstSight.add(*receipts[i], receipts[i]->fields);
            later.add(*receipts[i], pipeline.analyze(receipts[i]->document, options).fields);
        }
    std::cout << "\nvendor by shop: " << shops.size() << " shops, " << first.n << " receipts\n"
              << "| reading | receipts | vendor right | logo-only shops right | wrong vendor rated high |\n"
              << "|---|---|---|---|---|\n"
              << "| first sight, every receipt | " << first.n << " | " << percent(first.right, first.n)
              << " | " << percent(first.logoRight, first.logoN) << " | " << first.wrongHigh << " |\n"
              << "| first sight, the later receipts | " << laterFirstSight.n << " | "
              << percent(laterFirstSight.right, laterFirstSight.n) << " | "
              << percent(laterFirstSight.logoRight, laterFirstSight.logoN) << " | "
              << laterFirstSight.wrongHigh << " |\n"
              << "| the later receipts after one correction per shop | " << later.n << " | "
              << percent(later.right, later.n) << " | " << percent(later.logoRight, later.logoN) << " | "
              << later.wrongHigh << " |\n";
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
    int jobs = 1;
    bool dump = false;
    std::string cacheFolder;
    tavori::DocumentTextExtractor extractor;
    app.add_option("--data", dataRoot, "shared data folder");
    std::string generated;
    app.add_option("--generated", generated, "folder written by bench_make_receipts (the set \"generated\")");
    app.add_option("--sets", sets, "comma-separated: jomb, sroie, invoice2data, generated");
    app.add_option("--psm", extractor.tuning.pageSegmentation, "Tesseract page segmentation mode");
    app.add_option("--target", extractor.tuning.rereadTargetHeight, "re-read target line height in pixels");
    app.add_option("--reread-psm", extractor.tuning.rereadSegmentation, "segmentation mode of re-reads");
    app.add_option("--tall", extractor.tuning.tallRowFactor,
                   "rows this many times the median height are read alone (0: off)");
    const std::map<std::string, tavori::OcrTuning::TallRows> tallRows{
        {"replace", tavori::OcrTuning::TallRows::replace},
        {"alternative", tavori::OcrTuning::TallRows::alternative},
        {"words", tavori::OcrTuning::TallRows::replaceWordsOnly}};
    app.add_option("--tall-rows", extractor.tuning.tallRows,
                   "replace, alternative or words (replace rows without digits)")
        ->transform(CLI::CheckedTransformer(tallRows, CLI::ignore_case));
    app.add_option("--amount-rows", extractor.tuning.rereadAmountRows,
                   "price rows re-read, those with the largest amounts (-1: all)");
    const std::map<std::string, tavori::OcrTuning::CertainPages> certainPages{
        {"read", tavori::OcrTuning::CertainPages::readAgain},
        {"no-neural", tavori::OcrTuning::CertainPages::skipNeural},
        {"names", tavori::OcrTuning::CertainPages::namesOnly}};
    app.add_option("--certain", extractor.tuning.certainPages,
                   "a page already certain of date and total: read (again), no-neural or names (its tall "
                   "word rows only)")
        ->transform(CLI::CheckedTransformer(certainPages, CLI::ignore_case));
    app.add_flag("--keep-labels", extractor.tuning.keepLabelRereads,
                 "keep re-reads that recover a total label");
    app.add_flag(
        "--no-reread", [&](std::int64_t) { extractor.tuning.reread = false; }, "skip zoomed re-reads");
    app.add_flag(
        "--no-scale", [&](std::int64_t) { extractor.tuning.scaleLargeImages = false; },
        "keep large images at full size");
    app.add_flag(
        "--no-neural", [&](std::int64_t) { extractor.tuning.neuralRows = false; },
        "without the neural recogniser's second reading");
    app.add_flag(
        "--no-page-dates", [&](std::int64_t) { extractor.tuning.neuralPageDates = false; },
        "without the neural detector's search of a dateless page");
    app.add_option("--failures", failures, "failures listed per set");
    app.add_option("--limit", limit, "documents per set and variant (0: all)");
    app.add_option("--jobs", jobs, "documents read at once")->check(CLI::Range(1, 16));
    app.add_option("--cache", cacheFolder, "keep recognised text here, per setting");
    app.add_flag("--dump", dump,
                 "print the recognised lines of failures, each with its second readings after ‖");
    std::string tessdata, languages;
    app.add_option("--tessdata", tessdata, "tessdata folder (sets TAVORI_TESSDATA)");
    app.add_option("--languages", languages, "Tesseract languages (sets TAVORI_OCR_LANGUAGES)");
    CLI11_PARSE(app, argc, argv);
    if (!generated.empty() && sets.find("generated") == std::string::npos) sets += ",generated";
    if (!tessdata.empty()) setenv("TAVORI_TESSDATA", tessdata.c_str(), 1);
    if (!languages.empty()) setenv("TAVORI_OCR_LANGUAGES", languages.c_str(), 1);

    const auto all = tavori::bench::loadSamples(dataRoot, split(sets), generated);
    std::vector<const Sample*> chosen;
    std::map<std::pair<std::string, std::string>, int> perGroup;
    for (const auto& sample : all)
        if (limit <= 0 || perGroup[{sample.set, sample.variant}]++ < limit) chosen.push_back(&sample);

    std::ostringstream setting;
    setting << extractor.tuning << " tessdata " << tavori::TesseractEngine::tessdataFolder() << " "
            << tavori::TesseractEngine::languages();
    std::cout << "settings: " << setting.str() << ", " << jobs << " job(s)\n";
    const ReadingCache cache(cacheFolder, setting.str());

    // Documents are read through the analysis service, as the application reads them; a cached reading is
    // only analysed again.
    using Service = tavori::AnalysisService;
    using Clock = std::chrono::steady_clock;
    std::vector<Outcome> outcomes(chosen.size());
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t done = 0;
    std::map<Service::RequestId, Clock::time_point> started;
    Service::Configuration configuration;
    configuration.workers = static_cast<std::size_t>(jobs);
    configuration.pipeline.extractor = extractor;
    configuration.onStart = [&](Service::RequestId id) {
        const std::lock_guard lock(mutex);
        started[id] = Clock::now();
    };
    const tavori::ReceiptPipeline pipeline = configuration.pipeline;
    auto finish = [&](std::size_t i, Outcome outcome) {
        const std::lock_guard lock(mutex);
        outcomes[i] = std::move(outcome);
        ++done;
        std::cerr << '.' << std::flush;
        changed.notify_one();
    };
    {
        Service service(configuration);
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            const Sample& sample = *chosen[i];
            if (!tavori::DocumentTextExtractor::isSupported(sample.file)) {
                finish(i, failed(sample, "unsupported type"));
                continue;
            }
            RecognizedDocument document;
            double seconds = 0;
            if (cache.load(sample.file, document, seconds)) {
                const auto start = Clock::now();
                auto fields = pipeline.analyze(document, {}).fields;
                seconds += std::chrono::duration<double>(Clock::now() - start).count();
                finish(i, evaluate(sample, document, std::move(fields), seconds));
                continue;
            }
            service.analyze(sample.file, {}, [&, i](Service::RequestId id, Service::Outcome result) {
                Clock::time_point start;
                {
                    const std::lock_guard lock(mutex);
                    start = started[id];
                }
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                if (auto* error = std::get_if<tavori::AnalysisError>(&result)) {
                    finish(i, failed(*chosen[i], error->message));
                    return;
                }
                auto& pipelineResult = std::get<tavori::PipelineResult>(result);
                cache.store(chosen[i]->file, pipelineResult.document, seconds);
                finish(i, evaluate(*chosen[i], pipelineResult.document, std::move(pipelineResult.fields),
                                   seconds));
            });
        }
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return done == chosen.size(); });
    }
    std::cerr << '\n';

    std::map<std::pair<std::string, std::string>, std::vector<const Outcome*>> groups;
    for (const auto& o : outcomes)
        if (o.error != "unsupported type") groups[{o.sample->set, o.sample->variant}].push_back(&o);

    std::cout << "| set | variant | n | date | total | vendor | all three | in text: date / total / vendor "
                 "| date year first in text | re-reads gained/lost | review | wrong but high: date / total "
                 "| mean s | p90 s |\n"
              << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const auto& [key, group] : groups) {
        int n = 0, date = 0, total = 0, vendor = 0, all3 = 0, inDate = 0, inTotal = 0, inVendor = 0,
            yearFirst = 0, gained = 0, lost = 0, review = 0, dateWrongHigh = 0, totalWrongHigh = 0;
        std::vector<double> seconds;
        for (const Outcome* o : group) {
            ++n;
            date += o->picked.date;
            total += o->picked.amount;
            vendor += o->picked.vendor;
            all3 += o->picked.all();
            inDate += o->present.date;
            inTotal += o->present.amount;
            inVendor += o->present.vendor;
            yearFirst += o->present.dateYearFirst;
            gained += o->present.rereadsGained;
            lost += o->present.rereadsLost;
            // What the user would be asked to check: the confidence says so, or a field is missing.
            const auto& f = o->fields;
            review += o->error.empty() && tavori::asksForReview(f);
            // The costly mistake: a wrong value the user is not asked to look at.
            using Level = tavori::FieldConfidence::Level;
            dateWrongHigh += o->error.empty() && !o->picked.date && f.confidence.date == Level::high;
            totalWrongHigh += o->error.empty() && !o->picked.amount && f.confidence.amount == Level::high;
            if (o->error.empty()) seconds.push_back(o->seconds);
        }
        double mean = 0;
        for (double s : seconds) mean += s;
        mean = seconds.empty() ? 0 : mean / static_cast<double>(seconds.size());
        char times[64];
        std::snprintf(times, sizeof times, "%.2f | %.2f", mean, percentile(seconds, 0.9));
        std::cout << "| " << key.first << " | " << key.second << " | " << n << " | " << percent(date, n)
                  << " | " << percent(total, n) << " | " << percent(vendor, n) << " | " << percent(all3, n)
                  << " | " << share(inDate, n) << " / " << share(inTotal, n) << " / " << share(inVendor, n)
                  << " | " << share(yearFirst, n) << " | " << gained << "/" << lost << " | "
                  << share(review, n) << " | " << dateWrongHigh << " / " << totalWrongHigh << " | " << times
                  << " |\n";
    }

    reportShops(outcomes, pipeline);
    // The amounts by tax rate, on the generated receipts that know what they printed: whether the reading
    // gives exactly the printed breakdown (rates, amounts, taxes, tax included or not), on the receipts
    // that print both rates and on all, and how many would ask for review because the rates disagree.
    std::map<std::string, std::array<int, 5>> breakdown;  // n, exact, both-rate n, both-rate exact, disagree
    for (const auto& o : outcomes) {
        if (!o.sample->taxBreakdown || !o.error.empty()) continue;
        auto& b = breakdown[o.sample->variant];
        const bool exact = o.fields.taxBreakdown == *o.sample->taxBreakdown;
        const bool both = o.sample->taxBreakdown->size() == 2;
        b[0] += 1;
        b[1] += exact;
        b[2] += both;
        b[3] += both && exact;
        b[4] += o.fields.confidence.taxBreakdown == tavori::FieldConfidence::Level::low;
    }
    if (!breakdown.empty()) {
        std::cout
            << "\n| tax by rate (generated) | n | exact | both rates: n | both rates: exact | rates disagree "
               "with total |\n|---|---|---|---|---|---|\n";
        for (const auto& [variant, b] : breakdown)
            std::cout << "| " << variant << " | " << b[0] << " | " << percent(b[1], b[0]) << " | " << b[2]
                      << " | " << percent(b[3], b[2]) << " | " << share(b[4], b[0]) << " |\n";
    }

    for (const auto& [key, group] : groups) {
        int shown = 0;
        for (const Outcome* o : group) {
            if (shown >= failures) break;
            if (o->error.empty() && o->picked.all()) continue;
            if (shown++ == 0) std::cout << "\nfailures, " << key.first << " " << key.second << ":\n";
            std::cout << "  " << o->sample->file.filename().string() << ":";
            if (!o->error.empty()) std::cout << " error " << o->error;
            const auto& f = o->fields;
            if (o->error.empty() && !o->picked.date)
                std::cout << " date " << o->sample->date << "≠" << (f.date ? f.date->description() : "-")
                          << " (" << cause(o->present.date) << ")";
            if (o->error.empty() && !o->picked.amount)
                std::cout << " total " << *o->sample->total << "≠"
                          << (f.amount ? std::to_string(*f.amount) : "-") << " (" << cause(o->present.amount)
                          << ", from «" << o->amountLine << "»)";
            if (o->error.empty() && !o->picked.vendor)
                std::cout << " vendor " << o->sample->vendor << "≠" << (f.vendor.empty() ? "-" : f.vendor)
                          << " (" << cause(o->present.vendor) << ", from «" << o->vendorLine << "»)";
            std::cout << "\n";
            if (dump)
                for (const auto& line : o->lines) std::cout << "      | " << line << "\n";
        }
    }
    return 0;
}
