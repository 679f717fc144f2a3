#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TavoriCore/JsonCoding.h"

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/DocumentType.h"
#include "TavoriCore/TaxBreakdown.h"

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
    // The amounts by tax rate, for a book with the tax-rate columns after 備考; absent for a book without.
    std::optional<std::vector<TaxRateAmount>> taxBreakdown = std::nullopt;

    bool operator==(const IndexBookEntry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const IndexBookEntry& entry);

// Coded under the field names, in field order; an absent date, amount or registration number is left out.
TAVORI_JSON_DECLARE(IndexBookEntry);

}  // namespace tavori
