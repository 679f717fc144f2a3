#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

namespace tavori {

// One vendor candidate: the cleaned name, its score (higher is better, may be negative) and the index of the
// line it came from in the array given to the extractor.
struct ExtractedVendor {
    std::string name;
    int score = 0;
    int lineIndex = 0;

    bool operator==(const ExtractedVendor&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ExtractedVendor& vendor);

// Finds the party that issued a receipt or invoice: first from lines labelled as the issuer, then by scoring
// every short, letter-rich line by position, wording and neighbourhood. Anything that reads as the recipient
// (an honorific ending, a recipient label, the user's own name given as `recipientHint`) is kept out.
namespace VendorExtractor {

// Every candidate, best first (score descending, then line index ascending, then order found).
std::vector<ExtractedVendor> extract(std::span<const TextLine> lines,
                                     std::optional<std::string_view> recipientHint = std::nullopt);
std::vector<ExtractedVendor> extract(const PreparedLines& lines,
                                     std::optional<std::string_view> recipientHint = std::nullopt);
std::optional<ExtractedVendor> best(std::span<const TextLine> lines,
                                    std::optional<std::string_view> recipientHint = std::nullopt);

// A candidate name without decoration and trailing document words.
std::string clean(std::string_view text);
// Whether a cleaned text can be a business name.
bool looksLikeName(std::string_view text);
// Whether a text reads as a title, label or boilerplate rather than a name.
bool isTitleLike(std::string_view text);
// Whether a name is only a branch, perhaps after a kind of goods (「本町店」, 「和菓子 本町店」): the line
// under a shop's logo, which names no shop of its own.
bool isBranchOnly(std::string_view name);

}  // namespace VendorExtractor
}  // namespace tavori
