#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TavoriKit/model/FieldMerger.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;
using Notes = std::vector<std::string>;

// The notes the merger writes when it overrides a rule.
const std::string overMay10 = "日付: 文脈から 2024/05/01 と判断しました（規則ベースの読みは 2024/05/10）";
const std::string overDec31 = "日付: 文脈から 2024/05/01 と判断しました（規則ベースの読みは 2023/12/31）";
const std::string over1930 = "金額: 文脈から ¥1,980 と判断しました（規則ベースの読みは ¥1,930）";
const std::string over999 = "金額: 文脈から ¥1,234,567 と判断しました（規則ベースの読みは ¥999）";
const std::string overReceiptLabel =
    "取引先: 文脈から「鈴木商事」と判断しました（規則ベースの読みは「レシート出力」）";

// One row: the rule value and level, the model's value, and the merged value, level and notes.
template <class T>
struct Row {
    const char* name;
    T rule;
    Level level;
    std::optional<T> model;
    T merged;
    Level mergedLevel;
    Notes notes;
};

// Merges each row's rule value (at its level) with the model's and checks value, level and notes.
template <class T, class Value, class Model>
void check(const std::vector<Row<T>>& rows, Value value, Level FieldConfidence::*level, Model model,
           const VendorAliasDictionary& aliases = {}) {
    for (const auto& r : rows) {
        ReceiptFields rules;
        rules.*value = r.rule;
        rules.confidence.*level = r.level;
        SemanticFields semantic;
        if (r.model) semantic.*model = *r.model;
        const auto merged = FieldMerger::merge(rules, semantic, aliases);
        EXPECT_EQ(merged.*value, r.merged) << r.name;
        EXPECT_EQ(merged.confidence.*level, r.mergedLevel) << r.name;
        EXPECT_EQ(merged.confidence.notes, r.notes) << r.name;
    }
}

TEST(FieldMerger, Date) {
    using D = std::optional<DateComponentsValue>;
    const D may10 = DateComponentsValue{2024, 5, 10}, may1 = DateComponentsValue{2024, 5, 1}, none;
    const std::vector<Row<D>> rows = {
        {"no model date", may10, Level::medium, std::nullopt, may10, Level::medium, {}},
        {"no rule date", none, Level::missing, may1, may1, Level::medium, {}},
        {"agreeing", may1, Level::low, may1, may1, Level::high, {}},
        {"a sure rule stays", may10, Level::high, may1, may10, Level::high, {}},
        {"a medium rule is overridden", may10, Level::medium, may1, may1, Level::low, {overMay10}},
        {"a low rule is overridden",
         DateComponentsValue{2023, 12, 31},
         Level::low,
         may1,
         may1,
         Level::low,
         {overDec31}},
    };
    check(rows, &ReceiptFields::date, &FieldConfidence::date, &SemanticFields::date);
}

TEST(FieldMerger, Amount) {
    using A = std::optional<std::int64_t>;
    const std::vector<Row<A>> rows = {
        {"no model amount", 1930, Level::low, std::nullopt, 1930, Level::low, {}},
        {"no rule amount", std::nullopt, Level::missing, 2200, 2200, Level::medium, {}},
        {"agreeing", 1980, Level::medium, 1980, 1980, Level::high, {}},
        {"a sure rule stays", 1930, Level::high, 1980, 1930, Level::high, {}},
        {"a low rule is overridden", 1930, Level::low, 1980, 1980, Level::low, {over1930}},
        {"grouped in thousands", 999, Level::medium, 1234567, 1234567, Level::low, {over999}},
    };
    check(rows, &ReceiptFields::amount, &FieldConfidence::amount, &SemanticFields::amount);
}

TEST(FieldMerger, Vendor) {
    VendorAliasDictionary aliases;
    aliases.rules = {{Uuid{}, "yamada", "山田商店"}, {Uuid{}, "nothing", ""}};
    const std::vector<Row<std::string>> rows = {
        {"no model vendor", "山田商店", Level::low, std::nullopt, "山田商店", Level::low, {}},
        {"bare company form", "山田商店", Level::low, "株式会社", "山田商店", Level::low, {}},
        {"no rule vendor", "", Level::missing, "株式会社鈴木商事", "鈴木商事", Level::medium, {}},
        {"user rule maps the model's", "", Level::missing, "YAMADA SHOTEN", "山田商店", Level::medium, {}},
        {"equal after mapping", "山田商店", Level::low, "Yamada Store", "山田商店", Level::high, {}},
        {"rule contains the model's",
         "山田商店 本店",
         Level::medium,
         "山田商店",
         "山田商店 本店",
         Level::high,
         {}},
        {"model's contains the rule",
         "山田商店",
         Level::low,
         "株式会社山田商店",
         "山田商店",
         Level::high,
         {}},
        {"a medium rule is overridden",
         "レシート出力",
         Level::medium,
         "鈴木商事株式会社",
         "鈴木商事",
         Level::low,
         {overReceiptLabel}},
        {"a low rule is overridden quietly",
         "レシート出力",
         Level::low,
         "鈴木商事",
         "鈴木商事",
         Level::low,
         {}},
        {"a sure rule stays", "山田商店", Level::high, "鈴木商事", "山田商店", Level::high, {}},
        {"a missing level stays", "山田商店", Level::missing, "鈴木商事", "山田商店", Level::missing, {}},
        {"a rule mapping to nothing", "山田商店", Level::low, "nothing", "山田商店", Level::low, {}},
    };
    check(rows, &ReceiptFields::vendor, &FieldConfidence::vendor, &SemanticFields::vendor, aliases);
}

TEST(FieldMerger, TypeAndNumberFillOnlyGaps) {
    const std::string a = "T1234567890123", b = "T9999999999999";
    ReceiptFields rules;
    rules.documentType = DocumentType::receipt;
    rules.registrationNumber = a;
    SemanticFields model;
    model.documentType = DocumentType::invoice;
    model.registrationNumber = b;
    auto merged = FieldMerger::merge(rules, model, {});
    EXPECT_EQ(merged.documentType, DocumentType::receipt);
    EXPECT_EQ(merged.registrationNumber, a);

    rules.documentType = DocumentType::other;
    rules.registrationNumber.reset();
    merged = FieldMerger::merge(rules, model, {});
    EXPECT_EQ(merged.documentType, DocumentType::invoice);
    EXPECT_EQ(merged.registrationNumber, b);
    EXPECT_EQ(FieldMerger::merge(rules, {}, {}), rules);
}

// Notes follow the existing ones in the order date, amount, vendor; nothing else changes.
TEST(FieldMerger, NotesAreAppendedInFieldOrder) {
    ReceiptFields rules;
    rules.date = DateComponentsValue{2024, 5, 10};
    rules.vendor = "レシート出力";
    rules.amount = 1930;
    rules.documentType = DocumentType::receipt;
    rules.confidence = {Level::medium, Level::medium, Level::low, {"金額: 既存の注記"}};
    const SemanticFields model{DateComponentsValue{2024, 5, 1}, "鈴木商事", 1980, DocumentType::invoice, {}};
    ReceiptFields expected = rules;
    expected.date = model.date;
    expected.vendor = "鈴木商事";
    expected.amount = 1980;
    expected.confidence = {
        Level::low, Level::low, Level::low, {"金額: 既存の注記", overMay10, over1930, overReceiptLabel}};
    EXPECT_EQ(FieldMerger::merge(rules, model, {}), expected);
}

}  // namespace
}  // namespace tavori
