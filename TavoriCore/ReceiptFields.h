#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TavoriCore/JsonCoding.h"

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/DocumentType.h"
#include "TavoriCore/FieldConfidence.h"
#include "TavoriCore/TaxBreakdown.h"

namespace tavori {

// The result of analysing one document. A default-constructed record is the empty result every analysis
// starts from: no date, no vendor, no amount, type other, no registration number, every level missing.
struct ReceiptFields {
    std::optional<DateComponentsValue> date;
    std::string vendor;  // empty when not found
    std::optional<std::int64_t> amount;
    DocumentType documentType = DocumentType::other;
    std::optional<std::string> registrationNumber;
    FieldConfidence confidence;
    // The amount subject to each tax rate and its tax, 10 % first; empty when the document prints none.
    std::vector<TaxRateAmount> taxBreakdown = {};

    bool operator==(const ReceiptFields&) const = default;

    // Date, vendor and amount are all there: enough for a file name.
    bool isComplete() const { return date.has_value() && amount.has_value() && !vendor.empty(); }
};

std::ostream& operator<<(std::ostream& os, const ReceiptFields& fields);

// Whether a reading asks the user to look at it before saving: its confidence says so, or the date, the
// amount or the vendor is missing.
bool asksForReview(const ReceiptFields& fields);

// Coded as {"date", "vendor", "amount", "documentType", "registrationNumber", "confidence", "taxBreakdown"};
// an absent date, amount or registration number and an empty breakdown are left out, and only those may be
// missing when decoding.
TAVORI_JSON_DECLARE(ReceiptFields);

}  // namespace tavori
