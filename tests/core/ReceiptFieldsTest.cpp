#include <gtest/gtest.h>

#include "TavoriCore/ReceiptFields.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

TEST(ReceiptFields, CompletenessNeedsDateVendorAndAmount) {
    ReceiptFields minimal;
    minimal.date = DateComponentsValue{2024, 1, 5};
    minimal.vendor = "ABC";
    minimal.amount = 0;
    ReceiptFields noDate = minimal, noAmount = minimal, noVendor = minimal;
    noDate.date.reset();
    noAmount.amount.reset();
    noVendor.vendor.clear();
    const std::vector<std::tuple<const char*, ReceiptFields, bool>> cases = {
        {"empty", {}, false},
        {"date, vendor, zero amount, type other", minimal, true},
        {"no date", noDate, false},
        {"no amount", noAmount, false},
        {"empty vendor", noVendor, false},
    };
    for (const auto& [name, fields, complete] : cases) EXPECT_EQ(fields.isComplete(), complete) << name;
}

TEST(ReceiptFields, AsksForReviewWhenConfidenceSaysSoOrAFieldIsMissing) {
    ReceiptFields sure;
    sure.date = DateComponentsValue{2024, 1, 5};
    sure.vendor = "ABC";
    sure.amount = 1980;
    sure.confidence = FieldConfidence{Level::high, Level::medium, Level::high, {"金額: 注記"}};
    ReceiptFields lowVendor = sure, noDate = sure, noAmount = sure, noVendor = sure, highButEmpty = sure;
    lowVendor.confidence.vendor = Level::low;
    noDate.date.reset();
    noAmount.amount.reset();
    noVendor.vendor.clear();
    // Levels can claim more than the values hold (an edited or merged record): the values decide too.
    highButEmpty = ReceiptFields{};
    highButEmpty.confidence = FieldConfidence{Level::high, Level::high, Level::high, {}};
    const std::vector<std::tuple<const char*, ReceiptFields, bool>> cases = {
        {"all there, medium vendor and a note", sure, false},
        {"low vendor", lowVendor, true},
        {"no date", noDate, true},
        {"no amount", noAmount, true},
        {"empty vendor", noVendor, true},
        {"high levels, no values", highButEmpty, true},
        {"empty record", {}, true},
    };
    for (const auto& [name, fields, review] : cases) EXPECT_EQ(asksForReview(fields), review) << name;
}

}  // namespace
}  // namespace tavori
