#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/registry/InvoiceRegistry.h"

// Builds the register from the tax office's published files: the full data and the daily difference files,
// as CSV or as the zip files they are published in. An import is all or nothing: a new database file is
// written beside the old one and renamed over it only when every file has been read; until then readers see
// the old register, and an interrupted import leaves only a stray file that the next import removes.
namespace tavori::RegistryImporter {

struct Progress {
    std::filesystem::path file;    // the file being read
    std::uint64_t bytesDone = 0;   // CSV text read so far, over all files
    std::uint64_t bytesTotal = 0;  // CSV text in all files (uncompressed)
    std::uint64_t rows = 0;        // rows applied so far
    bool finishing = false;        // all rows applied; counting and writing the file
};

struct SkippedRow {
    std::filesystem::path file;
    std::uint64_t line = 0;
    std::string problem;  // Japanese
    bool operator==(const SkippedRow&) const = default;
};

struct Options {
    // Start from an empty register instead of the one there (for a new full data set).
    bool replace = false;
    std::function<void(const Progress&)> progress;
    CancellationToken cancel;
};

struct Result {
    std::uint64_t rows = 0;           // rows applied
    std::uint64_t skippedCount = 0;   // malformed rows left out
    std::vector<SkippedRow> skipped;  // the first few of them
    RegistrySummary summary;          // the register as it now is
};

// Imports `files` in the order given into the register at `location` (its folder is created). Throws
// RegistryError; the register is then exactly as it was.
Result importFiles(std::span<const std::filesystem::path> files, const std::filesystem::path& location,
                   const Options& options = {});

// How many malformed rows a result lists one by one.
inline constexpr std::size_t listedSkippedRows = 20;

}  // namespace tavori::RegistryImporter
