#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TavoriKit/FieldMerger.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

const VendorAliasDictionary& noRules() {
    static const VendorAliasDictionary dictionary;
    return dictionary;
}

TEST(FieldMerger, Date) {
    const DateComponentsValue may10{2024, 5, 10};
    const DateComponentsValue may1{2024, 5, 1};
    struct Case {
        const char* name;
        std::optional<DateComponentsValue> rule;
        Level level;
        std::optional<DateComponentsValue> model;
        std::optional<DateComponentsValue> expected;
        Level expectedLevel;
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"no model date", may10, Level::medium, std::nullopt, may10, Level::medium, {}},
        {"no rule date", std::nullopt, Level::missing, may1, may1, Level::medium, {}},
        {"agreeing", may1, Level::low, may1, may1, Level::high, {}},
        {"differing from a sure rule", may10, Level::high, may1, may10, Level::high, {}},
        {"differing from a medium rule",
         may10,
         Level::medium,
         may1,
         may1,
         Level::low,
         {"日付: 文脈から 2024/05/01 と判断しました（規則ベースの読みは 2024/05/10）"}},
        {"differing from a low rule",
         DateComponentsValue{2023, 12, 31},
         Level::low,
         may1,
         may1,
         Level::low,
         {"日付: 文脈から 2024/05/01 と判断しました（規則ベースの読みは 2023/12/31）"}},
        {"same day of another month",
         DateComponentsValue{2024, 6, 1},
         Level::medium,
         may1,
         may1,
         Level::low,
         {"日付: 文脈から 2024/05/01 と判断しました（規則ベースの読みは 2024/06/01）"}},
    };
    for (const auto& c : cases) {
        ReceiptFields rules;
        rules.date = c.rule;
        rules.confidence.date = c.level;
        SemanticFields semantic;
        semantic.date = c.model;
        const auto merged = FieldMerger::merge(rules, semantic, noRules());
        EXPECT_EQ(merged.date, c.expected) << c.name;
        EXPECT_EQ(merged.confidence.date, c.expectedLevel) << c.name;
        EXPECT_EQ(merged.confidence.notes, c.notes) << c.name;
    }
}

TEST(FieldMerger, Amount) {
    struct Case {
        const char* name;
        std::optional<std::int64_t> rule;
        Level level;
        std::optional<std::int64_t> model;
        std::optional<std::int64_t> expected;
        Level expectedLevel;
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"no model amount", 1930, Level::low, std::nullopt, 1930, Level::low, {}},
        {"no rule amount", std::nullopt, Level::missing, 2200, 2200, Level::medium, {}},
        {"agreeing", 1980, Level::medium, 1980, 1980, Level::high, {}},
        {"differing from a sure rule", 1930, Level::high, 1980, 1930, Level::high, {}},
        {"differing from a low rule",
         1930,
         Level::low,
         1980,
         1980,
         Level::low,
         {"金額: 文脈から ¥1,980 と判断しました（規則ベースの読みは ¥1,930）"}},
        {"differing from a medium rule, grouped in thousands",
         999,
         Level::medium,
         1234567,
         1234567,
         Level::low,
         {"金額: 文脈から ¥1,234,567 と判断しました（規則ベースの読みは ¥999）"}},
    };
    for (const auto& c : cases) {
        ReceiptFields rules;
        rules.amount = c.rule;
        rules.confidence.amount = c.level;
        SemanticFields semantic;
        semantic.amount = c.model;
        const auto merged = FieldMerger::merge(rules, semantic, noRules());
        EXPECT_EQ(merged.amount, c.expected) << c.name;
        EXPECT_EQ(merged.confidence.amount, c.expectedLevel) << c.name;
        EXPECT_EQ(merged.confidence.notes, c.notes) << c.name;
    }
}

TEST(FieldMerger, Vendor) {
    VendorAliasDictionary aliases;
    aliases.rules.push_back({Uuid{}, "yamada", "山田商店"});
    aliases.rules.push_back({Uuid{}, "nothing", ""});
    struct Case {
        const char* name;
        std::string rule;
        Level level;
        std::optional<std::string> model;
        std::string expected;
        Level expectedLevel;
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"no model vendor", "山田商店", Level::low, std::nullopt, "山田商店", Level::low, {}},
        {"bare company form", "山田商店", Level::low, "株式会社", "山田商店", Level::low, {}},
        {"no rule vendor takes the canonical name",
         "",
         Level::missing,
         "株式会社鈴木商事",
         "鈴木商事",
         Level::medium,
         {}},
        {"user rule gives the canonical name",
         "",
         Level::missing,
         "YAMADA SHOTEN",
         "山田商店",
         Level::medium,
         {}},
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
        {"differing from a medium rule",
         "レシート出力",
         Level::medium,
         "鈴木商事株式会社",
         "鈴木商事",
         Level::low,
         {"取引先: 文脈から「鈴木商事」と判断しました（規則ベースの読みは「レシート出力」）"}},
        {"differing from a low rule, quietly",
         "レシート出力",
         Level::low,
         "鈴木商事",
         "鈴木商事",
         Level::low,
         {}},
        {"differing from a sure rule", "山田商店", Level::high, "鈴木商事", "山田商店", Level::high, {}},
        {"differing from a missing level",
         "山田商店",
         Level::missing,
         "鈴木商事",
         "山田商店",
         Level::missing,
         {}},
        {"a rule that maps to nothing changes nothing",
         "山田商店",
         Level::low,
         "nothing",
         "山田商店",
         Level::low,
         {}},
    };
    for (const auto& c : cases) {
        ReceiptFields rules;
        rules.vendor = c.rule;
        rules.confidence.vendor = c.level;
        SemanticFields semantic;
        semantic.vendor = c.model;
        const auto merged = FieldMerger::merge(rules, semantic, aliases);
        EXPECT_EQ(merged.vendor, c.expected) << c.name;
        EXPECT_EQ(merged.confidence.vendor, c.expectedLevel) << c.name;
        EXPECT_EQ(merged.confidence.notes, c.notes) << c.name;
    }
}

TEST(FieldMerger, DocumentTypeAndRegistrationNumber) {
    struct Case {
        const char* name;
        DocumentType ruleType;
        std::optional<DocumentType> modelType;
        DocumentType expectedType;
        std::optional<std::string> ruleNumber;
        std::optional<std::string> modelNumber;
        std::optional<std::string> expectedNumber;
    };
    const std::string a = "T1234567890123";
    const std::string b = "T9999999999999";
    const std::vector<Case> cases = {
        {"rule type stays", DocumentType::receipt, DocumentType::invoice, DocumentType::receipt, a, b, a},
        {"other takes the model's", DocumentType::other, DocumentType::invoice, DocumentType::invoice,
         std::nullopt, b, b},
        {"other without a model type", DocumentType::other, std::nullopt, DocumentType::other, std::nullopt,
         std::nullopt, std::nullopt},
        {"model says other", DocumentType::other, DocumentType::other, DocumentType::other, a, std::nullopt,
         a},
    };
    for (const auto& c : cases) {
        ReceiptFields rules;
        rules.documentType = c.ruleType;
        rules.registrationNumber = c.ruleNumber;
        SemanticFields semantic;
        semantic.documentType = c.modelType;
        semantic.registrationNumber = c.modelNumber;
        const auto merged = FieldMerger::merge(rules, semantic, noRules());
        EXPECT_EQ(merged.documentType, c.expectedType) << c.name;
        EXPECT_EQ(merged.registrationNumber, c.expectedNumber) << c.name;
    }
}

// Notes follow the existing ones in the order date, amount, vendor; nothing else of the rule result changes.
TEST(FieldMerger, NotesAreAppendedInFieldOrder) {
    ReceiptFields rules;
    rules.date = DateComponentsValue{2024, 5, 10};
    rules.vendor = "レシート出力";
    rules.amount = 1930;
    rules.documentType = DocumentType::receipt;
    rules.confidence = {Level::medium, Level::medium, Level::low, {"金額: 既存の注記"}};
    SemanticFields semantic;
    semantic.date = DateComponentsValue{2024, 5, 1};
    semantic.vendor = "鈴木商事";
    semantic.amount = 1980;
    semantic.documentType = DocumentType::invoice;

    ReceiptFields expected = rules;
    expected.date = semantic.date;
    expected.vendor = "鈴木商事";
    expected.amount = 1980;
    expected.confidence = {
        Level::low,
        Level::low,
        Level::low,
        {"金額: 既存の注記", "日付: 文脈から 2024/05/01 と判断しました（規則ベースの読みは 2024/05/10）",
         "金額: 文脈から ¥1,980 と判断しました（規則ベースの読みは ¥1,930）",
         "取引先: 文脈から「鈴木商事」と判断しました（規則ベースの読みは「レシート出力」）"}};
    EXPECT_EQ(FieldMerger::merge(rules, semantic, noRules()), expected);
    EXPECT_EQ(FieldMerger::merge(rules, SemanticFields{}, noRules()), rules);
}

}  // namespace
}  // namespace tavori
