#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TavoriCore/TaxBreakdown.h"

// The labelled benchmark documents under the shared data folder.
namespace tavori::bench {

using tavori::TaxRateAmount;

struct Sample {
    std::string set;      // jomb, sroie, invoice2data, generated
    std::string variant;  // clean / noisy, scan, pdf / png
    std::filesystem::path file;
    std::string date;                   // YYYY-MM-DD, empty when unlabelled
    std::optional<std::int64_t> total;  // whole units, half up
    std::string vendor;
    bool dayFirst = false;  // the date is printed day first
    // The amounts by tax rate the document prints, for the generated receipts only (none for the other sets).
    std::optional<std::vector<TaxRateAmount>> taxBreakdown = std::nullopt;
};

// One CSV record per row, fields unquoted.
std::vector<std::vector<std::string>> readCsv(const std::filesystem::path& path);
// Half up to whole units: "80.90" → 81, "1378" → 1378.
std::optional<std::int64_t> roundedAmount(const std::string& decimal);
// `generated`: a folder written by bench_make_receipts, read as the set "generated" (none when empty).
std::vector<Sample> loadSamples(const std::filesystem::path& dataRoot, const std::vector<std::string>& sets,
                                const std::filesystem::path& generated = {});

}  // namespace tavori::bench
