#include "TavoriCore/TelephoneNumberExtractor.h"

#include <algorithm>

#include <unicode/uregex.h>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const TelephoneNumber& number) {
    return os << number.printed << " (" << number.digits << ')';
}

namespace TelephoneNumberExtractor {
namespace {

// The label, an optional "/FAX" of a shared line, and then the number: an area code, one or two groups and
// the last four digits, apart or run together. OCR reads a long dash as ー or 一, so those separate groups
// too.
const Pattern& labelledNumber() {
    static const Pattern pattern(
        "(?<![A-Za-z])(?:TEL|電話(?:番号)?|☎|℡)\\s*\\.?\\s*(?:/\\s*FAX\\s*)?[:：]?\\s*"
        "(\\(?0[0-9]{1,4}(?:[\\s\\-‐−ー一()]{0,3}[0-9]{1,4}){1,2}[\\s\\-‐−ー一()]{0,3}[0-9]{3,4}"
        "|0[0-9]{9,10})",
        UREGEX_CASE_INSENSITIVE);
    return pattern;
}

void collect(const std::string& normalized, std::vector<TelephoneNumber>& found) {
    for (const auto& match : labelledNumber().matches(normalized)) {
        std::string printed = match.group(1);
        std::string key = digits(printed);
        if (key.empty()) continue;
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const TelephoneNumber& n) { return n.digits == key; });
        if (!seen) found.push_back({std::move(printed), std::move(key)});
    }
}

}  // namespace

std::string digits(std::string_view number) {
    std::string out;
    for (char c : TextNormalizer::normalize(number))
        if (c >= '0' && c <= '9') out += c;
    if (out.size() < 10 || out.size() > 11 || out.front() != '0') return {};
    return out;
}

std::vector<TelephoneNumber> extract(std::span<const TextLine> lines) {
    std::vector<TelephoneNumber> found;
    for (const TextLine& line : lines) collect(TextNormalizer::normalize(line.text), found);
    return found;
}

std::vector<TelephoneNumber> extract(const PreparedLines& lines) {
    std::vector<TelephoneNumber> found;
    for (std::size_t i = 0; i < lines.size(); ++i) collect(lines.normalized(i), found);
    return found;
}

std::vector<TelephoneNumber> extract(std::string_view text) {
    std::vector<TelephoneNumber> found;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        collect(TextNormalizer::normalize(text.substr(start, end - start)), found);
        start = end + 1;
    }
    return found;
}

}  // namespace TelephoneNumberExtractor
}  // namespace tavori
