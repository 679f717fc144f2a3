#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "TavoriKit/registry/RegistryRecord.h"

// Made-up rows of the published register of qualified-invoice issuers, written in its file format (24 CSV
// columns, UTF-8, no header; zipped as it is published), for the tests and the import benchmark.
namespace tavori::RegistrySample {

// Row `index` of a made-up register: every third a sole proprietor (every other one of those with a trade
// name), the rest corporations whose numbers carry a valid corporate check digit; registered between
// 2023-10-01 and 2024-09-30. Distinct indexes (below 10^12) give distinct numbers.
RegistryRecord record(std::uint64_t index);
// record(first) to record(first + count - 1).
std::vector<RegistryRecord> records(std::uint64_t first, std::uint64_t count);

// One row as the register publishes it, ending in CRLF; text columns are quoted, and the address holds a
// comma.
std::string csvRow(const RegistryRecord& record, std::uint64_t sequence);
std::string csv(std::span<const RegistryRecord> records);

// Rows `first` to `first + count - 1` straight to a file, without holding them in memory.
void writeGeneratedCsv(const std::filesystem::path& path, std::uint64_t first, std::uint64_t count);

// A zip with the given members (name, bytes), deflated.
void writeZip(const std::filesystem::path& path,
              const std::vector<std::pair<std::string, std::string>>& members);

}  // namespace tavori::RegistrySample
