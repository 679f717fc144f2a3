#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/DateExtractor.h"
#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace {

// The highest and lowest scores the labels, position and first-line bonus allow.
int maximumScore() {
    int bonus = 0;
    for (const auto& label : tavori::DateExtractor::positiveLabels()) bonus += label.bonus;
    return 50 + bonus + 20 + 5;
}

int minimumScore() {
    return 20 - static_cast<int>(tavori::DateExtractor::negativeLabels().size()) *
                    tavori::DateExtractor::negativeLabelPenalty;
}

// The first byte of each line picks its position, including the values that are not numbers.
double topFrom(unsigned char b) {
    switch (b % 8) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        default:
            return (static_cast<int>(b) - 32) / 160.0;
    }
}

std::optional<int> asciiNumber(const std::string& s) {
    if (s.empty() || s.size() > 4) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Every pattern run over every text with no shortcut, to show that the extractor's prefilters never change a
// result.
std::vector<tavori::DateExtractor::Candidate> reference(std::string_view text) {
    using tavori::Pattern;
    static const Pattern before(R"((?<=[\d年月/.\-])[Oo])");
    static const Pattern after(R"([Oo](?=[\d年月日/.\-]))");
    static const Pattern patterns[] = {
        Pattern(
            R"((令和|平成|(?<![A-Za-z])R|(?<![A-Za-z])H)\s?(\d{1,2}|元)\s?[年.\-/]\s?(\d{1,2})\s?[月.\-/]\s?(\d{1,2})\s?日?)"),
        Pattern(R"((?<!\d)(20\d{2}|19\d{2})\s?[年/.\-]\s?(\d{1,2})\s?[月/.\-]\s?(\d{1,2})\s?日?)"),
        Pattern(
            R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec)[a-z]*\.?\s+(\d{1,2}),?\s+(20\d{2}))"),
        Pattern(
            R"((\d{1,2})\s+(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec)[a-z]*\.?,?\s+(20\d{2}))"),
        Pattern(R"((?<![\d年月日])(\d{2})\s?年\s?(\d{1,2})\s?月\s?(\d{1,2})\s?日)"),
        Pattern(R"((?<![\d/.\-])(\d{2})[/.\-](\d{1,2})[/.\-](\d{1,2})(?![\d/]))"),
        Pattern(R"((?<!\d)(20\d{2})(\d{2})(\d{2})(?!\d))"),
    };
    static const int bases[] = {50, 50, 45, 45, 35, 30, 20};
    const std::string repaired = after.replacingMatches(before.replacingMatches(text, "0"), "0");
    std::vector<tavori::DateExtractor::Candidate> out;
    for (int k = 0; k < 7; ++k) {
        if (k == 4 && !out.empty()) break;
        for (const auto& m : patterns[k].matches(repaired)) {
            std::optional<int> y, mo, d;
            switch (k) {
                case 0: {
                    const auto e = m.group(2) == "元" ? std::optional<int>(1) : asciiNumber(m.group(2));
                    if (e) y = (m.group(1) == "令和" || m.group(1) == "R" ? 2018 : 1988) + *e;
                    mo = asciiNumber(m.group(3));
                    d = asciiNumber(m.group(4));
                    break;
                }
                case 2:
                    mo = tavori::DateExtractor::monthNumber(m.group(1));
                    d = asciiNumber(m.group(2));
                    y = asciiNumber(m.group(3));
                    break;
                case 3:
                    d = asciiNumber(m.group(1));
                    mo = tavori::DateExtractor::monthNumber(m.group(2));
                    y = asciiNumber(m.group(3));
                    break;
                default:
                    y = asciiNumber(m.group(1));
                    mo = asciiNumber(m.group(2));
                    d = asciiNumber(m.group(3));
                    if (y && (k == 4 || k == 5)) {
                        if (k == 4 ? *y > 40 : *y < 15)
                            y.reset();
                        else
                            *y += 2000;
                    }
                    break;
            }
            if (!y || !mo || !d) continue;
            const tavori::DateComponentsValue date{*y, *mo, *d};
            if (date.isValid()) out.push_back({date, bases[k], m.full});
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<tavori::TextLine> lines;
    for (std::size_t start = 0; start <= input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view piece = input.substr(start, end - start);
        const double top = piece.empty() ? 0.5 : topFrom(static_cast<unsigned char>(piece[0]));
        lines.push_back(tavori::TextLine{std::string(piece), top, 0, 0, 1.0, {}});
        start = end + 1;
    }

    const auto found = tavori::DateExtractor::extract(lines);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const auto& d = found[i];
        if (!d.date.isValid()) std::abort();
        if (d.lineIndex < 0 || static_cast<std::size_t>(d.lineIndex) >= lines.size()) std::abort();
        if (d.score < minimumScore() || d.score > maximumScore()) std::abort();
        if (d.isTwoDigitYear && (d.date.year < 2000 || d.date.year > 2099)) std::abort();
        if (tavori::Unicode::toValidUtf8(d.raw) != d.raw || d.raw.empty()) std::abort();
        if (i > 0) {
            const auto& p = found[i - 1];
            if (p.score < d.score || (p.score == d.score && p.lineIndex > d.lineIndex)) std::abort();
        }
    }
    const auto first = tavori::DateExtractor::best(lines);
    if (first.has_value() != !found.empty() || (first && *first != found.front())) std::abort();

    // A date read by repairing slashed zeros comes only where the plain patterns find nothing; the rest must
    // agree with the reference.
    auto agrees = [](std::string_view text) {
        std::vector<tavori::DateExtractor::Candidate> actual = tavori::DateExtractor::candidates(text);
        const auto plain = reference(text);
        const auto repaired = std::erase_if(actual, [](const auto& c) { return c.hasRepairedDigits; });
        return actual == plain && (repaired == 0 || plain.empty());
    };
    std::size_t expected = 0;
    for (const auto& line : lines) {
        const std::string t = tavori::TextNormalizer::normalize(line.text);
        if (!agrees(t)) std::abort();
        expected += tavori::DateExtractor::candidates(t).size();
    }
    if (found.size() != expected) std::abort();
    if (!agrees(input)) std::abort();
    for (const auto& c : tavori::DateExtractor::candidates(input)) {
        if (!c.date.isValid()) std::abort();
        if (c.score != 50 && c.score != 45 && c.score != 35 && c.score != 30 && c.score != 20) std::abort();
    }
    const std::string western = tavori::DateExtractor::westernizeEras(input);
    if (tavori::Unicode::toValidUtf8(western) != western) std::abort();
    const int month = tavori::DateExtractor::monthNumber(input);
    if (month < 0 || month > 12) std::abort();
    return 0;
}
