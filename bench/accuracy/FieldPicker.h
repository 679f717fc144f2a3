#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "GroundTruth.h"
#include "TavoriCore/ReceiptFields.h"
#include "TavoriCore/RecognizedDocument.h"

namespace tavori::bench {

// Whether the expected values are in the recognised text at all: the ceiling the rules work under. A field
// absent here is lost to recognition or line merging; present here but picked wrong, it is lost to a rule.
struct TextPresence {
    bool date = false;
    bool amount = false;
    bool vendor = false;
    bool dateYearFirst = false;  // found as printed year first (what the date rules read)
    // Found only in a zoomed re-read's alternative reading, not in the line texts.
    bool amountOnlyInRereads = false;
    bool dateOnlyInRereads = false;
    int alternatives = 0;
    // Alternatives that hold the expected total or date where their line does not, and the reverse.
    int rereadsGained = 0;
    int rereadsLost = 0;
};

// Present means: the total as a number token, the date in one of its printed forms, the vendor as a
// substring of the text or a line of four or more letters inside the label.
TextPresence presence(const RecognizedDocument& document, const Sample& expected);

// What the analyzer picked, scored as the data's README says. A field without a label counts as right.
struct FieldScore {
    bool date = false;
    bool amount = false;
    bool vendor = false;
    bool all() const { return date && amount && vendor; }
};
FieldScore score(const ReceiptFields& fields, const Sample& expected);

// Vendor comparison form: normalised, lower case, corporate forms and everything but letters and digits
// removed.
std::string vendorKey(const std::string& name);
// Both keys non-empty and one contains the other.
bool sameVendor(const std::string& picked, const std::string& label);

}  // namespace tavori::bench
