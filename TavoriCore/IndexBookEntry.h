#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/DocumentType.h"

namespace tavori {

// One row of the index book: a saved document as the bookkeeping register lists it.
struct IndexBookEntry {
    std::int64_t sequence = 1;  // running number in the book, from 1
    std::optional<DateComponentsValue> date;
    std::optional<std::int64_t> amount;
    std::string vendor;
    DocumentType documentType = DocumentType::other;
    std::string fileName;  // last path component, with extension
    std::optional<std::string> registrationNumber;
    std::string note;

    bool operator==(const IndexBookEntry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const IndexBookEntry& entry);

// Coded under the field names, in field order; an absent date, amount or registration number is left out.
void to_json(nlohmann::json& j, const IndexBookEntry& entry);
void from_json(const nlohmann::json& j, IndexBookEntry& entry);
void to_json(nlohmann::ordered_json& j, const IndexBookEntry& entry);
void from_json(const nlohmann::ordered_json& j, IndexBookEntry& entry);

}  // namespace tavori
