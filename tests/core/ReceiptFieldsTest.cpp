#include <limits>

#include <gtest/gtest.h>

#include "TavoriCore/ReceiptFields.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

ReceiptFields fullRecord() {
    return {DateComponentsValue{2024, 3, 15},
            "ABC商店",
            12345,
            DocumentType::invoice,
            "T1234567890123",
            FieldConfidence{Level::high, Level::medium, Level::low, {"金額: 注記"}}};
}

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

TEST(ReceiptFields, EncodesKeysInOrderAndLeavesOutAbsentOnes) {
    EXPECT_EQ(nlohmann::ordered_json(fullRecord()).dump(),
              R"({"date":{"year":2024,"month":3,"day":15},"vendor":"ABC商店","amount":12345,)"
              R"("documentType":"請求書","registrationNumber":"T1234567890123",)"
              R"("confidence":{"date":"high","vendor":"medium","amount":"low","notes":["金額: 注記"]}})");
    // The empty record every analysis starts from.
    EXPECT_EQ(nlohmann::ordered_json(ReceiptFields{}).dump(),
              R"({"vendor":"","documentType":"その他",)"
              R"("confidence":{"date":"missing","vendor":"missing","amount":"missing","notes":[]}})");
}

TEST(ReceiptFields, RoundTrips) {
    ReceiptFields lowest = fullRecord(), highest = fullRecord();
    lowest.amount = std::numeric_limits<std::int64_t>::min();
    highest.amount = std::numeric_limits<std::int64_t>::max();
    const std::vector<std::pair<const char*, ReceiptFields>> cases = {
        {"empty", {}}, {"full", fullRecord()}, {"lowest amount", lowest}, {"highest amount", highest}};
    for (const auto& [name, fields] : cases) {
        EXPECT_EQ(nlohmann::ordered_json(fields).get<ReceiptFields>(), fields) << name;
        EXPECT_EQ(nlohmann::json::parse(nlohmann::json(fields).dump()).get<ReceiptFields>(), fields) << name;
    }
    const auto nulls = nlohmann::json::parse(
        R"({"date":null,"vendor":"","amount":null,"documentType":"その他","registrationNumber":null,)"
        R"("confidence":{"date":"missing","vendor":"missing","amount":"missing","notes":[]}})");
    EXPECT_EQ(nulls.get<ReceiptFields>(), ReceiptFields{});
}

TEST(ReceiptFields, DecodingRejectsMissingOrMistypedMembers) {
    const std::string confidence =
        R"("confidence":{"date":"high","vendor":"high","amount":"high","notes":[]})";
    const std::string rest = R"("documentType":"その他",)" + confidence + "}";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"no vendor", "{" + rest},
        {"no documentType", R"({"vendor":"",)" + confidence + "}"},
        {"no confidence", R"({"vendor":"","documentType":"その他"})"},
        {"fractional amount", R"({"vendor":"","amount":12.5,)" + rest},
        {"huge float amount", R"({"vendor":"","amount":1e300,)" + rest},
        {"amount beyond 64 bits", R"({"vendor":"","amount":9223372036854775808,)" + rest},
        {"boolean amount", R"({"vendor":"","amount":true,)" + rest},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_THROW(nlohmann::json::parse(text).get<ReceiptFields>(), nlohmann::json::exception) << name;
        EXPECT_THROW(nlohmann::ordered_json::parse(text).get<ReceiptFields>(), nlohmann::json::exception)
            << name;
    }
}

}  // namespace
}  // namespace tavori
