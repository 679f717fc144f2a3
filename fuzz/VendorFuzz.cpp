#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriCore/VendorExtractor.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool isValidUtf8(const std::string& s) {
    return tavori::Unicode::toValidUtf8(s) == s;
}

// The first byte picks how line positions are made (including non-finite ones); the first line is the
// recipient hint and the user's alias pattern; every further line is one text line.
double topFor(std::uint8_t mode, std::size_t i, std::size_t n) {
    switch (mode % 6) {
        case 0:
            return static_cast<double>(i) / static_cast<double>(n);
        case 1:
            return std::numeric_limits<double>::quiet_NaN();
        case 2:
            return std::numeric_limits<double>::infinity();
        case 3:
            return -std::numeric_limits<double>::infinity();
        case 4:
            return static_cast<double>(i % 7) * 0.4 - 1.0;
        default:
            return 1e308 * static_cast<double>(i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        pieces.emplace_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    const std::string hint = pieces.front();
    std::vector<tavori::TextLine> lines;
    for (std::size_t i = 1; i < pieces.size(); ++i)
        lines.push_back(tavori::TextLine{pieces[i], topFor(mode, i - 1, pieces.size() - 1), 0, 0, 1.0, {}});

    const auto all = tavori::VendorExtractor::extract(
        lines, (mode & 0x80) ? std::optional<std::string_view>(hint) : std::nullopt);
    for (std::size_t k = 0; k < all.size(); ++k) {
        const auto& v = all[k];
        check(v.lineIndex >= 0 && static_cast<std::size_t>(v.lineIndex) < lines.size());
        // The largest sum of bonuses is 40 + 15 + 35 + 45 + 45, the smallest of penalties -335.
        check(v.score >= -335 && v.score <= 180);
        check(isValidUtf8(v.name));
        check(tavori::Unicode::characterCount(v.name) <= 40);
        if (k > 0) {
            const auto& p = all[k - 1];
            check(p.score > v.score || (p.score == v.score && p.lineIndex <= v.lineIndex));
        }
    }
    const auto plain = tavori::VendorExtractor::extract(lines);
    const auto best = tavori::VendorExtractor::best(lines);
    check(plain.empty() ? !best.has_value() : best == plain.front());

    for (const auto& line : lines) {
        const std::string cleaned = tavori::VendorExtractor::clean(line.text);
        check(isValidUtf8(cleaned));
        check(tavori::Unicode::trim(cleaned) == cleaned);
        tavori::VendorExtractor::looksLikeName(line.text);
        tavori::VendorExtractor::isTitleLike(line.text);

        const tavori::VendorAliasDictionary aliases{{{tavori::Uuid{}, hint, "X"}}, (mode & 0x40) != 0};
        const std::string canonical = aliases.canonicalName(line.text);
        check(isValidUtf8(canonical));
        // Only an empty normalised name gives an empty result (the one rule's canonical is not empty).
        check(!canonical.empty() || tavori::TextNormalizer::normalize(line.text).empty());
        const bool bare = tavori::VendorAliasDictionary::isBareCorporateAffix(line.text);
        if (tavori::TextNormalizer::normalize(line.text).empty()) check(bare);
    }
    return 0;
}
