#include <gtest/gtest.h>

#include <thread>

#include <set>
#include <string>
#include <vector>

#include "TavoriCore/VendorAliasDictionary.h"

namespace tavori {
namespace {

using Rule = VendorAliasDictionary::Rule;

Rule rule(std::string pattern, std::string canonical) {
    return Rule{Uuid::random(), std::move(pattern), std::move(canonical)};
}

struct NameCase {
    const char* input;
    const char* expected;
};

void expectNames(const VendorAliasDictionary& d, const std::vector<NameCase>& cases, const char* what) {
    for (const auto& c : cases) EXPECT_EQ(d.canonicalName(c.input), c.expected) << what << ": " << c.input;
}

// The built-in list is data; these cases are about how it is applied.
TEST(VendorAliasDictionary, BuiltInRules) {
    expectNames(VendorAliasDictionary{},
                {
                    {"セブン-イレブン 渋谷店", "セブンイレブン"},
                    {"Amazon Web Services Japan G.K.", "AWS"},  // listed before plain Amazon
                    {"Amazon.co.jp", "Amazon"},
                    {"ＡＭＡＺＯＮ", "Amazon"},  // full width is normalised first
                    {"ｱﾏｿﾞﾝ", "ｱﾏｿﾞﾝ"},          // half-width kana are not folded
                },
                "built-in");
}

TEST(VendorAliasDictionary, UserRules) {
    struct Case {
        const char* name;
        std::vector<Rule> rules;
        const char* input;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"user rule before every built-in one",
         {rule("Amazon", "アマゾン")},
         "Amazon Web Services",
         "アマゾン"},
        {"first user rule wins", {rule("サンプル", "A"), rule("サンプル商事", "B")}, "サンプル商事", "A"},
        {"ignoring case", {rule("sample", "サンプル")}, "SAMPLE TRADING", "サンプル"},
        {"canonically equivalent pattern", {rule("カ\u3099ス", "ガス会社")}, "東京ガス", "ガス会社"},
        {"pattern not trimmed", {rule(" サンプル", "A")}, "サンプル", "サンプル"},
        {"pattern matches whole characters only", {rule("e", "E")}, "Cafe\u0301", "Cafe\u0301"},
        {"empty pattern never matches", {rule("", "X")}, "サンプル", "サンプル"},
        {"empty canonical returned verbatim", {rule("サンプル", "")}, "サンプル", ""},
        {"canonical not normalised", {rule("サンプル", " ＳＡＭＰＬＥ ")}, "サンプル", " ＳＡＭＰＬＥ "},
    };
    for (const auto& c : cases) {
        const VendorAliasDictionary d{c.rules, true};
        EXPECT_EQ(d.canonicalName(c.input), c.expected) << c.name;
    }
}

TEST(VendorAliasDictionary, CorporateForms) {
    expectNames(VendorAliasDictionary{{}, true},
                {
                    {"株式会社サンプル", "サンプル"},
                    {"サンプル(株)", "サンプル"},
                    {"サンプル（株）", "サンプル"},
                    {"サンプル㈱", "サンプル"},
                    {"Sample Co., Ltd.", "Sample"},
                    {"Sample Co.,Ltd", "Sample"},
                    {"Sample inc.", "Sample"},
                    {"SAMPLE CORPORATION", "SAMPLE"},
                    {"サンプル株式会社 東京支店", "サンプル 東京支店"},
                    {"株式会社 サンプル\u3000 ・", "サンプル"},
                    {"株式会社", "株式会社"},  // nothing left: the normalised name stands
                    {"　株式会社　", "株式会社"},
                    {"Lincoln Books Inc.", "Lincoln Books"},  // a Latin form is removed only as a word
                    {"Zinc Works", "Zinc Works"},
                    {"MegaCorp.", "MegaCorp"},
                },
                "strip on");
    expectNames(VendorAliasDictionary{{}, false},
                {
                    {"株式会社サンプル", "株式会社サンプル"},
                    {"  Sample   Co., Ltd.  ", "Sample Co., Ltd"},
                    {"・サンプル商店 -", "サンプル商店"},
                    {"サンプル\n商店", "サンプル 商店"},
                    {"", ""},
                },
                "strip off");
}

TEST(VendorAliasDictionary, BareCorporateAffix) {
    struct Case {
        const char* input;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"株式会社", true},  {"(株)", true},  {"（株）", true},        {"株式会社 ・", true},
        {"Co., Ltd.", true}, {"inc", true},   {"合同会社 (同)", true}, {"株式会社サンプル", false},
        {"サンプル", false}, {"Zinc", false}, {"株式会社 A", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VendorAliasDictionary::isBareCorporateAffix(c.input), c.expected) << c.input;
}

TEST(VendorAliasDictionary, DefaultRuleIdsAreDistinctAndKeptForTheRun) {
    // Taken first on another thread, by value: ids drawn afresh on each call (or per thread) would differ.
    std::vector<Rule> first;
    std::thread([&first] { first = VendorAliasDictionary::defaultRules(); }).join();
    const std::vector<Rule>& later = VendorAliasDictionary::defaultRules();
    ASSERT_EQ(first.size(), 18u);
    ASSERT_EQ(later.size(), first.size());
    std::set<Uuid> ids;
    for (std::size_t i = 0; i < first.size(); ++i) {
        ids.insert(first[i].id);
        EXPECT_EQ(later[i].id, first[i].id) << first[i].pattern;
        EXPECT_NE(first[i].id, Uuid{}) << first[i].pattern;
    }
    EXPECT_EQ(ids.size(), first.size()) << "every built-in rule has its own id";
}

TEST(Uuid, TextForm) {
    const auto random = Uuid::random();
    EXPECT_NE(random, Uuid::random());
    EXPECT_EQ((random.bytes[6] >> 4), 4);  // version 4
    EXPECT_EQ(Uuid::fromString(random.uuidString()), random);
    const std::string upper = random.uuidString();
    EXPECT_EQ(upper.size(), 36u);
    EXPECT_EQ(upper.find_first_of("abcdef"), std::string::npos);
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5f", true},
        {"0F8E2A6C-1B3D-4C5E-9F70-8A1B2C3D4E5F", true},
        {"0f8e2a6c1b3d-4c5e-9f70-8a1b2c3d4e5f0", false},
        {"0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5g", false},
        {std::string("0f8e2a6c-1b3d-4c5e-9f70-8a1b2c3d4e5\0", 36), false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Uuid::fromString(c.text).has_value(), c.valid) << c.text;
}

}  // namespace
}  // namespace tavori
