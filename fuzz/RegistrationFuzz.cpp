#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/RegistrationNumberExtractor.h"
#include "TavoriCore/TextNormalizer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<tavori::TextLine> lines;
    for (std::size_t start = 0; start <= input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        lines.push_back(tavori::TextLine{std::string(input.substr(start, end - start)), 0, 0, 0, 1.0, {}});
        start = end + 1;
    }
    const auto numbers = tavori::RegistrationNumberExtractor::extract(lines);
    // Both patterns over every line with no shortcut give the same list.
    static const tavori::Pattern letter(R"((?i)T\s?-?\s?(\d[\d\s\-]{11,18}\d))");
    static const tavori::Pattern labelled(
        R"((?:登録番号|登録No|登録ナンバー|Registration\s?(?:No|Number)|事業者番号)[^\d]{0,40}(\d[\d\s\-]{11,18}\d))");
    std::vector<std::string> reference;
    for (const auto& line : lines) {
        const std::string t = tavori::TextNormalizer::normalize(line.text);
        for (const auto* p : {&letter, &labelled})
            for (const auto& m : p->matches(t)) {
                const std::string d = tavori::TextNormalizer::digitsOnly(m.group(1));
                if (d.size() == 13 &&
                    std::find(reference.begin(), reference.end(), "T" + d) == reference.end())
                    reference.push_back("T" + d);
            }
    }
    if (reference != numbers) std::abort();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto& n = numbers[i];
        // "T" and exactly 13 ASCII digits, each listed once.
        if (n.size() != 14 || n[0] != 'T' || tavori::TextNormalizer::digitsOnly(n).size() != 13) std::abort();
        if (std::find(numbers.begin(), numbers.begin() + static_cast<std::ptrdiff_t>(i), n) !=
            numbers.begin() + static_cast<std::ptrdiff_t>(i))
            std::abort();
        if (!tavori::RegistrationNumberExtractor::corporateCheckDigitMatches(n).has_value()) std::abort();
    }
    const auto check = tavori::RegistrationNumberExtractor::corporateCheckDigitMatches(input);
    if (check.has_value() != (tavori::TextNormalizer::digitsOnly(input).size() == 13)) std::abort();
    return 0;
}
