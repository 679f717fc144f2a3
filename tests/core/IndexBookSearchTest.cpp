#include <gtest/gtest.h>

#include "TavoriCore/IndexBookSearch.h"

namespace tavori {
namespace {

IndexBookEntry row(std::optional<DateComponentsValue> date, std::optional<std::int64_t> amount,
                   std::string vendor, DocumentType type = DocumentType::receipt,
                   std::optional<std::string> registration = {}) {
    return {0, date, amount, std::move(vendor), type, "f.pdf", std::move(registration), ""};
}

// A query with the conditions that `set` gives it.
template <class Set>
IndexBookQuery where(Set set) {
    IndexBookQuery query;
    set(query);
    return query;
}

constexpr DateComponentsValue day(int y, int m, int d) {
    return {y, m, d};
}

// Rows numbered by position; the book is deliberately not in date order.
const std::vector<IndexBookEntry>& book() {
    static const std::vector<IndexBookEntry> rows = {
        row(day(2024, 3, 31), 50000, "セブンイレブン 渋谷店"),                          // 0
        row(day(2024, 1, 1), 1000, "ＡＭＡＺＯＮ．ＣＯ．ＪＰ", DocumentType::invoice),  // 1
        row(day(2023, 12, 31), 999, "セブン-イレブン"),                                 // 2
        row(day(2024, 4, 1), 50001, "ローソン"),                                        // 3
        row(std::nullopt, 5000, "セブンイレブン"),                                      // 4
        row(day(2024, 2, 15), std::nullopt, "Amazon Web Services", DocumentType::invoice,
            "T1234567890123"),                                                              // 5
        row(day(2024, 1, 1), 30000, "amazon", DocumentType::receipt, "T 1234-5678-90123"),  // 6
        row(day(2024, 2, 29), -500, "ｾﾌﾞﾝ"),                                                // 7
    };
    return rows;
}

TEST(IndexBookSearch, EachConditionAloneAtItsBoundaries) {
    struct Case {
        const char* name;
        IndexBookQuery query;
        std::vector<std::size_t> expected;  // in date order, undated last
    };
    const std::vector<Case> cases = {
        {"nothing set: every row, by date", {}, {2, 1, 6, 5, 7, 0, 3, 4}},
        {"from is inclusive", where([](IndexBookQuery& q) { q.from = day(2024, 3, 31); }), {0, 3}},
        {"to is inclusive", where([](IndexBookQuery& q) { q.to = day(2024, 1, 1); }), {2, 1, 6}},
        {"from and to the same day",
         where([](IndexBookQuery& q) {
             q.from = day(2024, 1, 1);
             q.to = day(2024, 1, 1);
         }),
         {1, 6}},
        {"from after to",
         where([](IndexBookQuery& q) {
             q.from = day(2024, 2, 1);
             q.to = day(2024, 1, 1);
         }),
         {}},
        {"min is inclusive", where([](IndexBookQuery& q) { q.minAmount = 50000; }), {0, 3}},
        {"max is inclusive", where([](IndexBookQuery& q) { q.maxAmount = 1000; }), {2, 1, 7}},
        {"min and max the same",
         where([](IndexBookQuery& q) {
             q.minAmount = 999;
             q.maxAmount = 999;
         }),
         {2}},
        {"negative amounts", where([](IndexBookQuery& q) { q.maxAmount = -1; }), {7}},
        {"vendor contained", where([](IndexBookQuery& q) { q.vendor = "イレブン"; }), {2, 0, 4}},
        {"vendor ignoring case", where([](IndexBookQuery& q) { q.vendor = "AMAZON"; }), {1, 6, 5}},
        {"vendor ignoring full width", where([](IndexBookQuery& q) { q.vendor = "amazon.co"; }), {1}},
        {"full-width query", where([](IndexBookQuery& q) { q.vendor = "ａｍａｚｏｎ"; }), {1, 6, 5}},
        {"vendor spaces at the ends ignored",
         where([](IndexBookQuery& q) { q.vendor = "  ローソン "; }),
         {3}},
        {"vendor not there", where([](IndexBookQuery& q) { q.vendor = "ファミリーマート"; }), {}},
        {"document type", where([](IndexBookQuery& q) { q.documentType = DocumentType::invoice; }), {1, 5}},
        {"registration number with T",
         where([](IndexBookQuery& q) { q.registrationNumber = "T1234567890123"; }),
         {6, 5}},
        {"registration number digits only, full width",
         where([](IndexBookQuery& q) { q.registrationNumber = "１２３４５６７８９０１２３"; }),
         {6, 5}},
        {"registration number differing in one digit",
         where([](IndexBookQuery& q) { q.registrationNumber = "T1234567890124"; }),
         {}},
        {"registration number without digits matches nothing",
         where([](IndexBookQuery& q) { q.registrationNumber = "T"; }),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IndexBookSearch::search(book(), c.query), c.expected) << c.query;
    }
}

TEST(IndexBookSearch, ConditionsCombine) {
    struct Case {
        const char* name;
        IndexBookQuery query;
        std::vector<std::size_t> expected;
    };
    const std::vector<Case> cases = {
        {"quarter, amount range and vendor",
         where([](IndexBookQuery& q) {
             q.from = day(2024, 1, 1);
             q.to = day(2024, 3, 31);
             q.minAmount = 1000;
             q.maxAmount = 50000;
             q.vendor = "セブン";
         }),
         {0}},
        {"date range excludes undated rows",
         where([](IndexBookQuery& q) {
             q.from = day(2000, 1, 1);
             q.vendor = "セブンイレブン";
         }),
         {0}},
        {"amount range excludes rows without amount",
         where([](IndexBookQuery& q) {
             q.minAmount = 0;
             q.vendor = "amazon";
         }),
         {1, 6}},
        {"vendor and type",
         where([](IndexBookQuery& q) {
             q.vendor = "amazon";
             q.documentType = DocumentType::receipt;
         }),
         {6}},
        {"type and registration",
         where([](IndexBookQuery& q) {
             q.documentType = DocumentType::invoice;
             q.registrationNumber = "T1234567890123";
         }),
         {5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IndexBookSearch::search(book(), c.query), c.expected) << c.query;
    }
}

TEST(IndexBookSearch, RowsOfOneDateKeepBookOrder) {
    std::vector<IndexBookEntry> rows;
    for (int k = 0; k < 50; ++k) rows.push_back(row(day(2024, 1, 1 + (k % 3)), k, "X"));
    const auto found = IndexBookSearch::search(rows, {});
    ASSERT_EQ(found.size(), rows.size());
    for (std::size_t k = 1; k < found.size(); ++k) {
        const auto& a = rows[found[k - 1]];
        const auto& b = rows[found[k]];
        ASSERT_TRUE(*a.date < *b.date || (*a.date == *b.date && found[k - 1] < found[k])) << k;
    }
}

}  // namespace
}  // namespace tavori
