#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

namespace tavori {

// One amount candidate: a number of one line with its score.
struct ExtractedAmount {
    std::int64_t amount = 0;     // whole currency units, 1 to 99,999,999
    int score = 0;               // higher is better; may be negative
    std::int64_t lineIndex = 0;  // index of the line in the list handed to `extract`
    std::string raw;             // the line's whole normalised text

    bool operator==(const ExtractedAmount&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ExtractedAmount& amount);

// Finds the total that a receipt or invoice is about, from label words, words that mark a number as something
// else, currency marks, thousands separators, position and typical receipt layouts.
namespace AmountExtractor {

inline constexpr std::int64_t maximumAmount = 99'999'999;

// One number of a line as written ("12,345", "1,234.5").
struct NumericToken {
    std::string value;
    bool hasCurrencyMark = false;
    bool hasComma = false;
    bool hasDecimals = false;

    bool operator==(const NumericToken&) const = default;
};

std::ostream& operator<<(std::ostream& os, const NumericToken& token);

// Every accepted number of every line, best first; empty when there is none.
std::vector<ExtractedAmount> extract(std::span<const TextLine> lines);
std::vector<ExtractedAmount> extract(const PreparedLines& lines);
// The document's amount: the first candidate when it carries at least a medium label's weight; otherwise,
// where the largest plausible number is cash handed over with the change after it, the difference printed
// twice above them; otherwise the first candidate when it carries a weak label, or the largest plausible
// number. Nothing when there are no candidates.
std::optional<ExtractedAmount> best(std::span<const TextLine> lines);
// The same choice made from the sorted list that `extract` returned, so a caller that needs both runs the
// lines once.
std::optional<ExtractedAmount> bestOf(std::span<const ExtractedAmount> sorted);
// Whether the receipt's own arithmetic bears `total` out: below it, cash handed over and, within two lines
// after that, the change, whose difference is the total. Three figures read apart that agree.
bool settledByChange(std::span<const ExtractedAmount> candidates, const ExtractedAmount& total);
// Whether a subtotal and the tax on it, at 8 or 10 % and on a row that names a tax, add up to `total`.
bool settledByTax(std::span<const ExtractedAmount> candidates, const ExtractedAmount& total);

// A figure the receipt's arithmetic gives (cash less change below `total`, or a subtotal and its tax at 8
// or 10 %) that differs from `total` in one digit: one of them was misread, perhaps the total.
std::optional<std::int64_t> misreadByArithmetic(std::span<const ExtractedAmount> candidates,
                                                const ExtractedAmount& total);

// Yen has no decimals, so on a Japanese page that was read by OCR a point before exactly three digits
// (「3.964」) is a thousands comma the print or the reader blurred. Makes such points commas in the lines'
// texts and alternatives where the figure is larger than any read with a clean comma, and returns the
// figures made so, as printed, for the analysis to say it guessed.
std::vector<std::string> readBlurredCommas(std::vector<TextLine>& lines);

// The number pattern. `numericTokens` finds exactly its matches without running it on every line.
const Pattern& numberToken();

// The steps of `extract`, for tests. `text` and `line` are normalised line texts.
std::vector<NumericToken> numericTokens(std::string_view text);
// The value in whole units, halves rounded up; nothing when there are no digits or they overflow. `extract`
// keeps only values from 1 to `maximumAmount`.
std::optional<std::int64_t> parseValue(const NumericToken& token);
bool looksLikeDateOrPhone(std::string_view line, std::string_view token);

}  // namespace AmountExtractor
}  // namespace tavori

template <>
struct std::hash<tavori::ExtractedAmount> {
    std::size_t operator()(const tavori::ExtractedAmount& a) const noexcept {
        std::size_t h = std::hash<std::string>{}(a.raw);
        for (const std::size_t part : {std::hash<std::int64_t>{}(a.amount), std::hash<int>{}(a.score),
                                       std::hash<std::int64_t>{}(a.lineIndex)})
            h ^= part + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h;
    }
};
