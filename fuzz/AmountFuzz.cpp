#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/AmountExtractor.h"
#include "TavoriCore/TextNormalizer.h"

namespace {

// Line positions worth trying, picked by each line's length: ordinary fractions and the values a broken
// recogniser could hand over.
double topFor(std::size_t length, std::size_t index, std::size_t count) {
    switch (length % 7) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return -0.5;
        case 4:
            return 1e300;
        default:
            return static_cast<double>(index) / static_cast<double>(count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavori;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> texts;
    for (std::size_t begin = 0; begin <= input.size();) {
        const std::size_t end = std::min(input.find('\n', begin), input.size());
        texts.emplace_back(input.substr(begin, end - begin));
        begin = end + 1;
    }
    std::vector<TextLine> lines;
    for (std::size_t i = 0; i < texts.size(); ++i)
        lines.push_back(TextLine{texts[i], topFor(texts[i].size(), i, texts.size()), 0, 0, 1.0, {}});

    const auto all = AmountExtractor::extract(lines);
    for (std::size_t k = 0; k < all.size(); ++k) {
        const ExtractedAmount& a = all[k];
        // Amounts and scores stay in range, and every candidate names its line and that line's text.
        if (a.amount < 1 || a.amount > AmountExtractor::maximumAmount) std::abort();
        if (a.score < -270 || a.score > 145) std::abort();
        if (a.lineIndex < 0 || static_cast<std::size_t>(a.lineIndex) >= lines.size()) std::abort();
        if (a.raw != TextNormalizer::normalize(lines[static_cast<std::size_t>(a.lineIndex)].text))
            std::abort();
        if (k > 0) {
            const ExtractedAmount& p = all[k - 1];
            const bool ordered = p.score > a.score || (p.score == a.score && p.amount > a.amount) ||
                                 (p.score == a.score && p.amount == a.amount && p.lineIndex <= a.lineIndex);
            if (!ordered) std::abort();
        }
    }
    const auto chosen = AmountExtractor::best(lines);
    if (chosen.has_value() == all.empty()) std::abort();
    // One of the candidates; a total found by arithmetic (paid less change) carries a weak label's score.
    if (chosen && std::none_of(all.begin(), all.end(), [&](const ExtractedAmount& a) {
            return a.amount == chosen->amount && a.lineIndex == chosen->lineIndex && a.raw == chosen->raw &&
                   a.score <= chosen->score;
        }))
        std::abort();

    // The scanner finds exactly the pattern's matches.
    for (const auto& text : texts) {
        const auto tokens = AmountExtractor::numericTokens(text);
        const auto matches = AmountExtractor::numberToken().matches(text);
        if (tokens.size() != matches.size()) std::abort();
        for (std::size_t k = 0; k < tokens.size(); ++k) {
            if (tokens[k].value != matches[k].group(1) + matches[k].group(2)) std::abort();
            if (tokens[k].hasDecimals != matches[k].groups[1].has_value()) std::abort();
            AmountExtractor::parseValue(tokens[k]);
            AmountExtractor::looksLikeDateOrPhone(text, tokens[k].value);
        }
    }
    return 0;
}
