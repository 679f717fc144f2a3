#include <gtest/gtest.h>

#include "TavoriCore/PossibleDuplicate.h"

namespace tavori {
namespace {

DuplicateRecord record(std::optional<DateComponentsValue> date, std::optional<std::int64_t> amount,
                       std::string vendor, std::string fileName = "") {
    return {date, amount, std::move(vendor), std::move(fileName)};
}

const DateComponentsValue kDay{2024, 3, 15};

TEST(DuplicateIndex, SameDateAmountAndVendorAfterAliases) {
    VendorAliasDictionary aliases;
    aliases.rules.push_back({Uuid::random(), "サンプル", "サンプル商事"});
    DuplicateIndex index(aliases);
    const std::vector<DuplicateRecord> records = {
        record(kDay, 302, "セブンイレブン"),          // 0
        record(kDay, 302, "セブン-イレブン 渋谷店"),  // 1: the same after the built-in rule
        record(kDay, 303, "セブンイレブン"),          // 2: other amount
        record(DateComponentsValue{2024, 3, 16}, 302, "セブンイレブン"),  // 3: other day
        record(kDay, 302, "ローソン"),                                    // 4: other vendor
        record(kDay, 1000, "株式会社サンプル"),                           // 5: user rule
        record(kDay, 1000, "サンプル商事"),                               // 6
        record(kDay, 2000, "ACME Inc."),                                  // 7: corporate form stripped
        record(kDay, 2000, "ａｃｍｅ"),                                   // 8: case and width
        record(std::nullopt, 302, "セブンイレブン"),                      // 9: no date
        record(kDay, std::nullopt, "セブンイレブン"),                     // 10: no amount
        record(kDay, 5, ""),                                              // 11: no vendor
        record(kDay, 5, " "),                                             // 12: blank vendor
    };
    for (const auto& r : records) index.add(r);
    const std::vector<std::vector<std::size_t>> expected = {
        {0, 1}, {0, 1}, {2}, {3}, {4}, {5, 6}, {5, 6}, {7, 8}, {7, 8}, {}, {}, {}, {},
    };
    for (std::size_t k = 0; k < records.size(); ++k)
        EXPECT_EQ(index.sameFields(records[k]), expected[k]) << records[k];
}

TEST(DuplicateIndex, HashCollisionsAreToldApart) {
    // Many records sharing vendor, spread over days and amounts: only exact matches count.
    DuplicateIndex index;
    for (int d = 1; d <= 28; ++d)
        for (int amount = 0; amount < 200; ++amount)
            index.add(record(DateComponentsValue{2024, 2, d}, amount, "X"));
    EXPECT_EQ(index.sameFields(record(DateComponentsValue{2024, 2, 7}, 150, "x")).size(), 1u);
    EXPECT_TRUE(index.sameFields(record(DateComponentsValue{2024, 2, 7}, 200, "x")).empty());
}

TEST(PossibleDuplicate, MessageNamesTheOtherDocument) {
    const std::vector<std::pair<DuplicateRecord, std::string>> cases = {
        {record(kDay, 302, "セブンイレブン", "20240315_セブンイレブン_302.pdf"),
         "重複の可能性: 2024/03/15 ¥302 セブンイレブン（20240315_セブンイレブン_302.pdf）"},
        {record(kDay, 1234567, "ヨドバシカメラ", "a (2).pdf"),
         "重複の可能性: 2024/03/15 ¥1,234,567 ヨドバシカメラ（a (2).pdf）"},
        {record(std::nullopt, std::nullopt, "", "scan.pdf"), "重複の可能性: 同じ内容のファイル（scan.pdf）"},
        {record(std::nullopt, -500, "X", "b.pdf"), "重複の可能性: ¥-500 X（b.pdf）"},
    };
    for (const auto& [other, expected] : cases)
        EXPECT_EQ(
            (PossibleDuplicate{PossibleDuplicate::Reason::sameContent, PossibleDuplicate::Origin::book, other}
                 .message()),
            expected);
}

}  // namespace
}  // namespace tavori
