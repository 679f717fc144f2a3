#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "GroundTruth.h"
#include "TavoriCore/RecognizedDocument.h"

namespace tavori::bench {

struct PickedFields {
    std::optional<std::string> date;  // YYYY-MM-DD
    std::optional<std::int64_t> amount;
    std::string vendor;
    bool dateYearFirst = false;  // found as printed year first (what the date rules read)
    // Found only in a zoomed re-read's alternative reading, not in the line texts.
    bool amountOnlyInRereads = false;
    bool dateOnlyInRereads = false;
    int alternatives = 0;
    // Alternatives that hold the expected total or date where their line does not, and the reverse.
    int rereadsGained = 0;
    int rereadsLost = 0;
};

// The field-picking step of the evaluator. Until the rule-based analyzer is linked here it is an oracle: a
// field counts as picked when the expected value is present in the recognised, normalised text (the total as
// a number token, the date in a printed form, the vendor as a substring either way). That is enough to
// compare recogniser settings, which is what this program is for; replacing the body with the analyzer keeps
// the rest unchanged.
PickedFields pickFields(const RecognizedDocument& document, const Sample& oracle);

// Vendor comparison form: normalised, lower case, corporate forms and everything but letters and digits
// removed.
std::string vendorKey(const std::string& name);

}  // namespace tavori::bench
