#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriCore/ReceiptFields.h"

namespace tavori {

// One file's reading: the fields, or the Japanese description of why the file could not be read.
struct FileAnalysis {
    std::filesystem::path source;
    std::optional<ReceiptFields> fields;
    std::string error;

    bool ok() const { return fields.has_value(); }
};

namespace BatchAnalysis {

// TAVORI_JOBS when it is a positive number, otherwise one worker per hardware thread.
std::size_t workerCount();

// Reads and analyses one file; never throws.
FileAnalysis analyzeFile(const std::filesystem::path& source, const AnalyzerOptions& options);

// Every file, on at most `workers` threads, results in the order of `sources`. `progress` is called with the
// number of files finished so far, from one thread at a time.
std::vector<FileAnalysis> analyzeAll(std::span<const std::filesystem::path> sources,
                                     const AnalyzerOptions& options, std::size_t workers,
                                     const std::function<void(std::size_t done)>& progress = {});

}  // namespace BatchAnalysis
}  // namespace tavori
