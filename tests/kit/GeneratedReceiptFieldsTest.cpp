#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TavoriKit/GeneratedReceiptFields.h"

namespace tavori {
namespace {

TEST(GeneratedReceiptFields, ReadsOnlyCompleteWellTypedAnswers) {
    const GeneratedReceiptFields full{"2024-05-01", "山田商店", 1980, "領収書", "T1234567890123"};
    auto with = [&](auto change) {
        GeneratedReceiptFields f = full;
        change(f);
        return std::optional<GeneratedReceiptFields>(f);
    };
    const std::string members =
        R"("date":"2024-05-01","vendor":"山田商店","documentType":"領収書","registrationNumber":"T1234567890123")";
    struct Case {
        const char* name;
        std::string json;
        std::optional<GeneratedReceiptFields> expected;
    };
    const std::vector<Case> cases = {
        {"complete", "{" + members + R"(,"totalAmount":1980})", full},
        {"surrounding white space", " \n{" + members + R"(,"totalAmount":1980}  )", full},
        {"extra members are ignored", "{" + members + R"(,"totalAmount":1980,"note":"x"})", full},
        {"empty texts and zero",
         R"({"date":"","vendor":"","totalAmount":0,"documentType":"","registrationNumber":""})",
         GeneratedReceiptFields{}},
        {"negative amount is read (and dropped later)", "{" + members + R"(,"totalAmount":-5})",
         with([](auto& f) { f.totalAmount = -5; })},
        {"largest amount", "{" + members + R"(,"totalAmount":9223372036854775807})",
         with([](auto& f) { f.totalAmount = 9223372036854775807; })},
        {"amount beyond 64 bits", "{" + members + R"(,"totalAmount":9223372036854775808})", std::nullopt},
        {"amount as text", "{" + members + R"(,"totalAmount":"1980"})", std::nullopt},
        {"amount with a fraction", "{" + members + R"(,"totalAmount":1980.0})", std::nullopt},
        {"amount null", "{" + members + R"(,"totalAmount":null})", std::nullopt},
        {"amount missing", "{" + members + "}", std::nullopt},
        {"date missing", R"({"vendor":"a","totalAmount":1,"documentType":"","registrationNumber":""})",
         std::nullopt},
        {"vendor as a number",
         R"({"date":"","vendor":5,"totalAmount":1,"documentType":"","registrationNumber":""})", std::nullopt},
        {"registration number null",
         R"({"date":"","vendor":"","totalAmount":1,"documentType":"","registrationNumber":null})",
         std::nullopt},
        {"document type as a list",
         R"({"date":"","vendor":"","totalAmount":1,"documentType":["領収書"],"registrationNumber":""})",
         std::nullopt},
        {"cut off by the token limit", "{" + members + R"(,"totalAm)", std::nullopt},
        {"an array", "[" + members + "]", std::nullopt},
        {"a string", R"("{\"date\":\"2024-05-01\"}")", std::nullopt},
        {"prose around the object", "Here you go: {" + members + R"(,"totalAmount":1980})", std::nullopt},
        {"fenced code block", "```json\n{" + members + R"(,"totalAmount":1980})" + "\n```", std::nullopt},
        {"invalid UTF-8 inside a string",
         "{\"date\":\"\xff\",\"vendor\":\"\",\"totalAmount\":1,\"documentType\":\"\",\"registrationNumber\":"
         "\"\"}",
         std::nullopt},
        {"deeply nested", std::string(100000, '['), std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(GeneratedReceiptFields::fromAnswer(c.json), c.expected) << c.name;
}

}  // namespace
}  // namespace tavori
