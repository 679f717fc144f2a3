#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TavoriCore/RegistrationNumberExtractor.h"

namespace tavori {
namespace {

std::vector<TextLine> linesOf(const std::vector<std::string>& texts) {
    std::vector<TextLine> out;
    for (std::size_t i = 0; i < texts.size(); ++i) out.push_back(TextLine{texts[i], i * 0.05, 0, 0, 1.0, {}});
    return out;
}

TEST(RegistrationNumberExtractor, Extract) {
    const std::string n = "T1234567890123";
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"label and letter match once", {"登録番号：T1234567890123"}, {n}},
        {"hyphen groups", {"T-1234-5678-9012-3"}, {n}},
        {"full-width lower-case", {"ｔ１２３４５６７８９０１２３"}, {n}},
        {"space groups", {"T 1234 5678 9012 3"}, {n}},
        {"label without letter", {"登録番号 1234567890123"}, {n}},
        {"English label", {"Registration No. 1234567890123"}, {n}},
        {"English long label", {"Registration Number: 1234-5678-9012-3"}, {n}},
        {"forty characters between label and digits",
         {"登録番号" + std::string(40, '_') + "1234567890123"},
         {n}},
        {"forty-one characters are too many", {"登録番号" + std::string(41, '_') + "1234567890123"}, {}},
        {"bare digits", {"1234567890123"}, {}},
        {"fourteen digits", {"T12345678901234"}, {}},
        {"twelve digits", {"T123456789012"}, {}},
        {"card number after T", {"T1234 5678 9012 3456"}, {}},
        {"labels are case-sensitive", {"registration no 1234567890123"}, {}},
        {"same number on three lines",
         {"T1234567890123", "登録番号 T1234567890123", "T-1234-5678-9012-3"},
         {n}},
        {"two numbers in order of first line",
         {"T9999999999999", "T1234567890123", "T9999999999999"},
         {"T9999999999999", n}},
        {"letter pattern before label pattern on one line",
         {"登録番号 1111111111111 T2222222222222"},
         {"T2222222222222", "T1111111111111"}},
        {"other scripts' digits are not counted", {"T123456789012٣"}, {}},
        {"no lines", {}, {}},
    };
    for (const auto& c : cases) {
        const auto lines = linesOf(c.lines);
        EXPECT_EQ(RegistrationNumberExtractor::extract(lines), c.expected) << c.name;
    }
}

TEST(RegistrationNumberExtractor, CorporateCheckDigit) {
    struct Case {
        const char* number;
        std::optional<bool> expected;
    };
    const std::vector<Case> cases = {
        {"T5000012010024", true},
        {"T6000012010024", false},
        // Corporate numbers from the public register: 国税庁 (sum 11, 9 - 2 = 7), トヨタ自動車 (sum 53, 9 - 8
        // = 1), ソニーグループ (sum 40, 9 - 4 = 5).
        {"T7000012050002", true},
        {"1180301018771", true},
        {"T5010401067252", true},
        {"T1180-3010-1877-1", true},
        {"1180301018772", false},  // one digit misread
        {"1180301018717", false},  // two digits swapped
        {"9000000000000", true},   // sum 0 asks for 9
        {"0000000000000", false},  // a check digit 0 never matches
        {"T123", std::nullopt},
        {"", std::nullopt},
        {"T11803010187710", std::nullopt},
        {"１１８０３０１０１８７７１", std::nullopt},  // only ASCII digits count
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegistrationNumberExtractor::corporateCheckDigitMatches(c.number), c.expected) << c.number;
}

}  // namespace
}  // namespace tavori
