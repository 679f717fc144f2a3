#include "GroundTruth.h"

#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "TavoriCore/CsvReader.h"

namespace tavori::bench {

std::vector<std::vector<std::string>> readCsv(const std::filesystem::path& path) {
    std::vector<std::vector<std::string>> rows;
    CsvReader reader([&](std::span<const std::string> fields, std::uint64_t) {
        rows.emplace_back(fields.begin(), fields.end());
    });
    std::ifstream in(path, std::ios::binary);
    std::array<char, 1 << 16> buffer;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    reader.finish();
    return rows;
}

std::optional<std::int64_t> roundedAmount(const std::string& decimal) {
    if (decimal.empty()) return std::nullopt;
    try {
        std::size_t used = 0;
        const double value = std::stod(decimal, &used);
        if (used == 0) return std::nullopt;
        return static_cast<std::int64_t>(std::floor(value + 0.5 + 1e-9));
    } catch (...) {
        return std::nullopt;
    }
}

namespace {

std::vector<std::map<std::string, std::string>> records(const std::filesystem::path& csv) {
    const auto rows = readCsv(csv);
    std::vector<std::map<std::string, std::string>> out;
    if (rows.empty()) return out;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() <= 1) continue;
        std::map<std::string, std::string> record;
        for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c)
            record[rows[0][c]] = rows[r][c];
        out.push_back(std::move(record));
    }
    return out;
}

// The amounts by rate that bench_make_receipts printed: 10 % first, a rate left out when it was not printed.
std::vector<TaxRateAmount> generatedBreakdown(std::map<std::string, std::string>& r) {
    std::vector<TaxRateAmount> rates;
    const bool included = r["tax_included"] == "1";
    for (const auto& [rate, key] :
         {std::pair{10, std::string("rate10")}, std::pair{8, std::string("rate8")}}) {
        const auto amount = roundedAmount(r[key + "_amount"]);
        if (amount) rates.push_back({rate, *amount, roundedAmount(r[key + "_tax"]), included});
    }
    return rates;
}

bool wanted(const std::vector<std::string>& sets, const std::string& name) {
    if (sets.empty()) return true;
    for (const auto& s : sets)
        if (s == name) return true;
    return false;
}

}  // namespace

std::vector<Sample> loadSamples(const std::filesystem::path& root, const std::vector<std::string>& sets,
                                const std::filesystem::path& generated) {
    std::vector<Sample> samples;
    if (wanted(sets, "jomb")) {
        const auto folder = root / "jomb-receipts-ja";
        for (auto& r : records(folder / "ground_truth.csv"))
            samples.push_back({"jomb", r["variant"], folder / r["image"], r["date"],
                               roundedAmount(r["total_yen"]), r["vendor"], false});
    }
    if (!generated.empty() && wanted(sets, "generated")) {
        for (auto& r : records(generated / "ground_truth.csv")) {
            samples.push_back({"generated", r["variant"], generated / r["image"], r["date"],
                               roundedAmount(r["total_yen"]), r["vendor"], false});
            if (r.count("tax_included")) samples.back().taxBreakdown = generatedBreakdown(r);
        }
    }
    if (wanted(sets, "sroie")) {
        const auto folder = root / "sroie-receipts-en";
        for (auto& r : records(folder / "ground_truth.csv"))
            samples.push_back({"sroie", "scan", folder / r["file"], r["date_iso"],
                               roundedAmount(r["total_decimal"]), r["company"], true});
    }
    if (wanted(sets, "invoice2data")) {
        const auto folder = root / "invoice2data-invoices" / "docs";
        for (auto& r : records(root / "invoice2data-invoices" / "ground_truth.csv")) {
            std::istringstream files(r["files"]);
            std::string file;
            while (files >> file) {
                const std::string ext = std::filesystem::path(file).extension().string();
                samples.push_back({"invoice2data", ext.empty() ? "?" : ext.substr(1), folder / file,
                                   r["date"], roundedAmount(r["amount"]), r["issuer"], false});
            }
        }
    }
    return samples;
}

}  // namespace tavori::bench
