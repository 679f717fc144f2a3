#include "TavoriCore/RegistrationNumberExtractor.h"

#include <algorithm>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace tavori::RegistrationNumberExtractor {
namespace {

constexpr std::size_t kDigits = 13;

// The digit run may be printed in groups ("1234 5678 9012 3", "1234-5678-9012-3").
const Pattern& pattern() {
    static const Pattern p(R"((?i)T\s?-?\s?(\d[\d\s\-]{11,18}\d))");
    return p;
}

const Pattern& labelledPattern() {
    static const Pattern p(
        R"((?:登録番号|登録No|登録ナンバー|Registration\s?(?:No|Number)|事業者番号)[^\d]{0,40}(\d[\d\s\-]{11,18}\d))");
    return p;
}

// ASCII digits plus full-width ones (which normalisation turns into ASCII): an upper bound of the digits in
// the normalised line.
std::size_t digitCount(std::string_view raw) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b >= '0' && b <= '9') {
            ++count;
        } else if (b == 0xEF && i + 2 < raw.size() && static_cast<unsigned char>(raw[i + 1]) == 0xBC) {
            const auto last = static_cast<unsigned char>(raw[i + 2]);
            if (last >= 0x90 && last <= 0x99) ++count;
        }
    }
    return count;
}

}  // namespace

std::vector<std::string> extract(std::span<const TextLine> lines) {
    return extract(PreparedLines(lines));
}

std::vector<std::string> extract(const PreparedLines& lines) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // An accepted number brings 13 digits of the line, and the letter or a label, with it.
        if (digitCount(lines.line(i).text) < kDigits) continue;
        const std::string& t = lines.normalized(i);
        const bool letter = t.find_first_of("Tt") != std::string::npos;
        const bool label = t.find("登録") != std::string::npos ||
                           t.find("Registration") != std::string::npos ||
                           t.find("事業者番号") != std::string::npos;
        if (!letter && !label) continue;
        const Unicode::Text subject(t);
        auto collect = [&](const Pattern& p) {
            for (const Pattern::Match& m : p.matches(subject)) {
                const std::string d = TextNormalizer::digitsOnly(m.group(1));
                if (d.size() != kDigits) continue;
                std::string number = "T" + d;
                if (std::find(out.begin(), out.end(), number) == out.end()) out.push_back(std::move(number));
            }
        };
        if (letter) collect(pattern());
        if (label) collect(labelledPattern());
    }
    return out;
}

std::optional<bool> corporateCheckDigitMatches(std::string_view number) {
    const std::string d = TextNormalizer::digitsOnly(number);
    if (d.size() != kDigits) return std::nullopt;
    // Weights 1 and 2 alternate from the rightmost of the twelve digits after the check digit.
    int sum = 0;
    for (std::size_t position = 1; position < kDigits; ++position)
        sum += (d[kDigits - position] - '0') * (position % 2 == 1 ? 1 : 2);
    return d[0] - '0' == 9 - sum % 9;
}

}  // namespace tavori::RegistrationNumberExtractor
