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

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

namespace tavori {

// One date found on one line, with its final score (higher is better, may be negative).
struct ExtractedDate {
    DateComponentsValue date;
    int score = 0;
    std::int64_t lineIndex = 0;      // index into the lines handed to `extract`
    std::string raw;                 // the matched text after normalisation and zero repair
    bool isTwoDigitYear = false;     // the century 20xx was assumed
    bool hasRepairedDigits = false;  // read with a 6 or 9 taken for a slashed zero

    bool operator==(const ExtractedDate&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ExtractedDate& date);

}  // namespace tavori

namespace tavori::DateExtractor {

// A date of one text with the base score of the pattern that found it.
struct Candidate {
    DateComponentsValue date;
    int score = 0;
    std::string raw;
    bool hasRepairedDigits = false;

    bool operator==(const Candidate&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Candidate& candidate);

struct Label {
    std::string_view keyword;
    int bonus = 0;
};

// Keywords on a date's own line that raise its score, and those that lower it by 80 each.
std::span<const Label> positiveLabels();
std::span<const std::string_view> negativeLabels();
inline constexpr int negativeLabelPenalty = 80;
// A date read only by repairing digits loses to any date printed plainly with the same help.
inline constexpr int repairedDigitsPenalty = 20;

// Every candidate of every line, best first: higher score, then smaller line index, then order of discovery.
std::vector<ExtractedDate> extract(std::span<const TextLine> lines);
std::vector<ExtractedDate> extract(const PreparedLines& lines);
std::optional<ExtractedDate> best(std::span<const TextLine> lines);

// The valid dates of one text in pattern order, each with its pattern's base score. Two-digit-year and
// compact forms are tried only when the text holds no full-year date. A text with none of these is tried once
// more for a full-year date whose impossible year, month or day becomes possible with a 6 or 9 read as 0 (a
// slashed zero), scored `repairedDigitsPenalty` lower.
std::vector<Candidate> candidates(std::string_view text);

// `text` with every valid era date (令和, 平成, R, H) rewritten as "2024年1月5日"; everything else unchanged.
std::string westernizeEras(std::string_view text);

// 1 to 12 from the first three characters of an English month name in any case; 0 when unknown.
int monthNumber(std::string_view name);

}  // namespace tavori::DateExtractor
