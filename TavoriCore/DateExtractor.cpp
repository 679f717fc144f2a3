#include "TavoriCore/DateExtractor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <optional>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/Unicode.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const ExtractedDate& date) {
    return os << "ExtractedDate{" << date.date << " score " << date.score << " line " << date.lineIndex
              << " \"" << date.raw << "\"" << (date.isTwoDigitYear ? " two-digit year" : "")
              << (date.hasRepairedDigits ? " repaired digits" : "") << '}';
}

}  // namespace tavori

namespace tavori::DateExtractor {
namespace {

// Recognisers read a zero beside digits or date separators as the letter O.
const Pattern& ocrZeroBefore() {
    static const Pattern p(R"((?<=[\d年月/.\-])[Oo])");
    return p;
}

const Pattern& ocrZeroAfter() {
    static const Pattern p(R"([Oo](?=[\d年月日/.\-]))");
    return p;
}

// An era's letter starts a word: the R of a garbled address 「…ESR2-2-10」 is no Reiwa.
const Pattern& eraPattern() {
    static const Pattern p(
        R"((令和|平成|(?<![A-Za-z])R|(?<![A-Za-z])H)\s?(\d{1,2}|元)\s?[年.\-/]\s?(\d{1,2})\s?[月.\-/]\s?(\d{1,2})\s?日?)");
    return p;
}

const Pattern& westernPattern() {
    static const Pattern p(R"((?<!\d)(20\d{2}|19\d{2})\s?[年/.\-]\s?(\d{1,2})\s?[月/.\-]\s?(\d{1,2})\s?日?)");
    return p;
}

const Pattern& englishPattern() {
    static const Pattern p(
        R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec)[a-z]*\.?\s+(\d{1,2}),?\s+(20\d{2}))");
    return p;
}

const Pattern& englishDayFirstPattern() {
    static const Pattern p(
        R"((\d{1,2})\s+(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Sept|Oct|Nov|Dec)[a-z]*\.?,?\s+(20\d{2}))");
    return p;
}

const Pattern& shortKanjiYearPattern() {
    static const Pattern p(R"((?<![\d年月日])(\d{2})\s?年\s?(\d{1,2})\s?月\s?(\d{1,2})\s?日)");
    return p;
}

const Pattern& shortYearPattern() {
    static const Pattern p(R"((?<![\d/.\-])(\d{2})[/.\-](\d{1,2})[/.\-](\d{1,2})(?![\d/]))");
    return p;
}

const Pattern& compactPattern() {
    static const Pattern p(R"((?<!\d)(20\d{2})(\d{2})(\d{2})(?!\d))");
    return p;
}

// A full-year date shape whose fields may be impossible as read: the digits of a slashed zero come out as 6,
// 9 or two characters.
const Pattern& looseWesternPattern() {
    static const Pattern p(R"((?<!\d)(\d{4})\s?[年/.\-]\s?(\d{1,3})\s?[月/.\-]\s?(\d{1,3})(?!\d)\s?日?)");
    return p;
}

enum class Kind { era, western, english, englishDayFirst, shortKanjiYear, shortYear, compact };

constexpr int baseScore(Kind kind) {
    switch (kind) {
        case Kind::era:
        case Kind::western:
            return 50;
        case Kind::english:
        case Kind::englishDayFirst:
            return 45;
        case Kind::shortKanjiYear:
            return 35;
        case Kind::shortYear:
            return 30;
        case Kind::compact:
            return 20;
    }
    return 0;
}

const Pattern& patternFor(Kind kind) {
    switch (kind) {
        case Kind::era:
            return eraPattern();
        case Kind::western:
            return westernPattern();
        case Kind::english:
            return englishPattern();
        case Kind::englishDayFirst:
            return englishDayFirstPattern();
        case Kind::shortKanjiYear:
            return shortKanjiYearPattern();
        case Kind::shortYear:
            return shortYearPattern();
        case Kind::compact:
            break;
    }
    return compactPattern();
}

// A group of ASCII digits as a number. "\d" also matches other scripts' digits; a group holding one cannot be
// read, and its candidate is dropped rather than read as 0 (which would make, say, year 2000 from "٢٤年").
std::optional<int> number(std::string_view digits) {
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<DateComponentsValue> dateOf(Kind kind, const Pattern::Match& m) {
    std::optional<int> year, month, day;
    switch (kind) {
        case Kind::era: {
            const std::string era = m.group(1);
            const std::string eraYear = m.group(2);
            const std::optional<int> yearOfEra = eraYear == "元" ? std::optional<int>(1) : number(eraYear);
            if (yearOfEra) year = (era == "令和" || era == "R" ? 2018 : 1988) + *yearOfEra;
            month = number(m.group(3));
            day = number(m.group(4));
            break;
        }
        case Kind::western:
        case Kind::compact:
            year = number(m.group(1));
            month = number(m.group(2));
            day = number(m.group(3));
            break;
        case Kind::english:
            month = monthNumber(m.group(1));
            day = number(m.group(2));
            year = number(m.group(3));
            break;
        case Kind::englishDayFirst:
            day = number(m.group(1));
            month = monthNumber(m.group(2));
            year = number(m.group(3));
            break;
        case Kind::shortKanjiYear:
        case Kind::shortYear: {
            const std::optional<int> yy = number(m.group(1));
            const bool accepted = yy && (kind == Kind::shortKanjiYear ? *yy <= 40 : *yy >= 15);
            if (accepted) year = 2000 + *yy;
            month = number(m.group(2));
            day = number(m.group(3));
            break;
        }
    }
    if (!year || !month || !day) return std::nullopt;
    const DateComponentsValue date{*year, *month, *day};
    if (!date.isValid()) return std::nullopt;
    return date;
}

// The values a date field may have been printed with: as read when that is within `low` to `high`; otherwise
// every value within them that comes from taking one 6 or 9, or one pair 60, 90, 06 or 09, for a zero.
std::vector<int> fieldReadings(std::string_view digits, int low, int high, bool& repaired) {
    std::vector<int> values;
    auto consider = [&](const std::string& d) {
        const auto value = number(d);
        if (value && *value >= low && *value <= high &&
            std::find(values.begin(), values.end(), *value) == values.end())
            values.push_back(*value);
    };
    repaired = false;
    if (const auto asRead = number(digits); asRead && *asRead >= low && *asRead <= high) return {*asRead};
    repaired = true;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (digits[i] == '6' || digits[i] == '9') {
            std::string d(digits);
            d[i] = '0';
            consider(d);
        }
        if (i + 1 < digits.size()) {
            const std::string_view pair = digits.substr(i, 2);
            if (pair == "60" || pair == "90" || pair == "06" || pair == "09")
                consider(std::string(digits.substr(0, i)) + "0" + std::string(digits.substr(i + 2)));
        }
    }
    return values;
}

// The one valid date that reading slashed zeros in the impossible fields of `m` gives; nothing when the date
// is possible as read (the strict patterns judge it), or no or several dates come out.
std::optional<DateComponentsValue> slashedZeroDate(const Pattern::Match& m) {
    bool yearRepaired = false, monthRepaired = false, dayRepaired = false;
    const auto years = fieldReadings(m.group(1), 1900, 2099, yearRepaired);
    const auto months = fieldReadings(m.group(2), 1, 12, monthRepaired);
    const auto days = fieldReadings(m.group(3), 1, 31, dayRepaired);
    if (!yearRepaired && !monthRepaired && !dayRepaired) return std::nullopt;
    std::optional<DateComponentsValue> found;
    for (int year : years)
        for (int month : months)
            for (int day : days) {
                const DateComponentsValue date{year, month, day};
                if (!date.isValid()) continue;
                if (found && *found != date) return std::nullopt;
                found = date;
            }
    return found;
}

// Cheap facts about a text, each necessary for some pattern to yield a valid date, so that a pattern whose
// precondition fails can be skipped without changing the result. Byte tests suffice: ASCII bytes never occur
// inside a multi-byte UTF-8 sequence.
struct Shape {
    bool nonZeroDigit = false;  // a valid month needs one; zero repair only ever adds zeros
    bool eraMark = false;
    bool fullYear = false;  // an ASCII digit run that starts with 19 or 20 and is at least four long
    bool compact = false;   // an ASCII digit run of exactly eight that starts with 20
    bool monthInitial = false;
    bool shortYear = false;  // ASCII digits in the shape dd-d-d or dd-dd-d with any of / . - between
    bool kanjiDate = false;

    bool allows(Kind kind) const {
        switch (kind) {
            case Kind::era:
                return eraMark;
            case Kind::western:
                return fullYear;
            case Kind::english:
            case Kind::englishDayFirst:
                return fullYear && monthInitial;
            case Kind::shortKanjiYear:
                return kanjiDate;
            case Kind::shortYear:
                return shortYear;
            case Kind::compact:
                return compact;
        }
        return true;
    }
};

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isDateSeparator(char c) {
    return c == '/' || c == '.' || c == '-';
}

bool hasShortYearShape(std::string_view s) {
    for (std::size_t i = 0; i + 5 <= s.size(); ++i) {
        if (!isAsciiDigit(s[i]) || !isAsciiDigit(s[i + 1]) || !isDateSeparator(s[i + 2])) continue;
        std::size_t j = i + 3;
        while (j < s.size() && j < i + 5 && isAsciiDigit(s[j])) ++j;
        if (j > i + 3 && j + 1 < s.size() && isDateSeparator(s[j]) && isAsciiDigit(s[j + 1])) return true;
    }
    return false;
}

Shape shapeOf(std::string_view s) {
    Shape shape;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (isAsciiDigit(c)) {
            const std::size_t start = i;
            while (i < s.size() && isAsciiDigit(s[i])) {
                if (s[i] != '0') shape.nonZeroDigit = true;
                ++i;
            }
            const std::string_view run = s.substr(start, i - start);
            const bool century = run.starts_with("19") || run.starts_with("20");
            if (century && run.size() >= 4) shape.fullYear = true;
            if (run.size() == 8 && run.starts_with("20")) shape.compact = true;
            continue;
        }
        switch (c) {
            case 'R':
            case 'H':
                shape.eraMark = true;
                break;
            case 'J':
            case 'F':
            case 'M':
            case 'A':
            case 'S':
            case 'O':
            case 'N':
            case 'D':
                shape.monthInitial = true;
                break;
            default:
                break;
        }
        ++i;
    }
    if (!shape.eraMark)
        shape.eraMark = s.find("令和") != std::string_view::npos || s.find("平成") != std::string_view::npos;
    shape.shortYear = hasShortYearShape(s);
    shape.kanjiDate = s.find("年") != std::string_view::npos && s.find("月") != std::string_view::npos &&
                      s.find("日") != std::string_view::npos;
    return shape;
}

// Whether some O or o has a neighbour (the one before, or the one after) that the repair patterns accept: an
// ASCII digit, a separator, or any non-ASCII character, which may be 年, 月, 日 or another script's digit.
bool mayRepair(std::string_view s, bool lookBefore) {
    auto accepts = [](unsigned char b) {
        return (b >= '0' && b <= '9') || b == '/' || b == '.' || b == '-' || b >= 0x80;
    };
    if (s.find('O') == std::string_view::npos && s.find('o') == std::string_view::npos) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != 'O' && s[i] != 'o') continue;
        if (lookBefore ? i > 0 && accepts(static_cast<unsigned char>(s[i - 1]))
                       : i + 1 < s.size() && accepts(static_cast<unsigned char>(s[i + 1])))
            return true;
    }
    return false;
}

// The text with the zero repair applied, or nothing when the repair would change nothing.
std::optional<std::string> repairZeros(std::string_view text) {
    std::optional<std::string> out;
    if (mayRepair(text, true)) out = ocrZeroBefore().replacingMatches(text, "0");
    const std::string_view once = out ? std::string_view(*out) : text;
    if (mayRepair(once, false)) out = ocrZeroAfter().replacingMatches(once, "0");
    return out;
}

// Normalisation turns only full-width digits into ASCII ones, so a line with neither an ASCII nor a
// full-width digit 1 to 9 cannot hold a valid date and need not be normalised.
bool mayHoldDate(std::string_view raw) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b >= '1' && b <= '9') return true;
        if (b == 0xEF && i + 2 < raw.size() && static_cast<unsigned char>(raw[i + 1]) == 0xBC) {
            const auto last = static_cast<unsigned char>(raw[i + 2]);
            if (last >= 0x91 && last <= 0x99) return true;  // full-width 1 to 9
        }
    }
    return false;
}

// Every positive and negative label in one index; a keyword's number below `positiveLabels().size()` is a
// positive label's row.
const Unicode::KeywordIndex& labelIndex() {
    static const Unicode::KeywordIndex index = [] {
        Unicode::KeywordIndex i;
        for (const Label& label : positiveLabels()) i.add(Unicode::lowercasedNfc(label.keyword));
        for (std::string_view keyword : negativeLabels()) i.add(Unicode::lowercasedNfc(keyword));
        return i;
    }();
    return index;
}

// The labels of a line add up independently, so one sum serves every date on the line.
int labelScore(const Unicode::PreparedText& line) {
    const auto positive = positiveLabels();
    int score = 0;
    labelIndex().search(line.folded(), [&](std::size_t k, std::size_t) {
        score += k < positive.size() ? positive[k].bonus : -negativeLabelPenalty;
    });
    return score;
}

// Up to 20 near the top of the page, 0 at the bottom. A position that is not a number counts as the top.
int positionBonus(double top) {
    if (!std::isfinite(top) || top <= 0) return 20;
    return static_cast<int>((1 - std::min(top, 1.0)) * 20);
}

// Without a closing 日 the era pattern's optional white space after the day belongs to the text that follows;
// rewriting must not glue the date to the next word.
std::string_view separatorAfterDay(std::string_view match) {
    if (match.ends_with("日")) return {};
    const std::size_t lastDigit = match.find_last_of("0123456789");
    return lastDigit == std::string_view::npos ? std::string_view() : match.substr(lastDigit + 1);
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const Candidate& candidate) {
    return os << "Candidate{" << candidate.date << " score " << candidate.score << " \"" << candidate.raw
              << "\"" << (candidate.hasRepairedDigits ? " repaired digits" : "") << "}";
}

std::span<const Label> positiveLabels() {
    static constexpr std::array<Label, 24> table = {{
        {"取引日", 60},     {"領収日", 60}, {"発行日", 55}, {"売上日", 55},     {"ご利用日", 55},
        {"利用日", 50},     {"購入日", 55}, {"注文日", 45}, {"お買上げ日", 55}, {"お買い上げ日", 55},
        {"日付", 40},       {"日時", 40},   {"請求日", 55}, {"Date", 40},       {"Invoice Date", 55},
        {"Order Date", 45}, {"Issued", 45}, {"納品日", 45}, {"出荷日", 30},     {"発送日", 35},
        {"決済日", 50},     {"支払日", 45}, {"受付日", 35}, {"精算日", 45},
    }};
    return table;
}

std::span<const std::string_view> negativeLabels() {
    static constexpr std::array<std::string_view, 18> table = {
        "支払期限", "お支払期限", "支払期日", "振込期限", "有効期限", "期限",   "Due",  "due",     "期間",
        "有効",     "生年月日",   "登録日",   "更新日",   "発送予定", "お届け", "保証", "Expires", "Valid",
    };
    return table;
}

int monthNumber(std::string_view name) {
    static constexpr std::array<std::string_view, 12> months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string lowered = Unicode::lowercased(name);
    auto isAsciiLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    // Three ASCII letters followed by an ASCII byte or nothing are three whole characters.
    const bool plain = lowered.size() >= 3 && isAsciiLetter(lowered[0]) && isAsciiLetter(lowered[1]) &&
                       isAsciiLetter(lowered[2]) &&
                       (lowered.size() == 3 || static_cast<unsigned char>(lowered[3]) < 0x80);
    const std::string prefix = plain ? lowered.substr(0, 3) : Unicode::prefixCharacters(lowered, 3);
    for (std::size_t i = 0; i < months.size(); ++i)
        if (prefix == months[i]) return static_cast<int>(i) + 1;
    return 0;
}

std::vector<Candidate> candidates(std::string_view text) {
    std::vector<Candidate> out;
    const std::optional<std::string> repairedText = repairZeros(text);
    const std::string_view repaired = repairedText ? std::string_view(*repairedText) : text;
    const Shape shape = shapeOf(repaired);
    if (!shape.nonZeroDigit) return out;
    std::optional<Unicode::Text> subject;  // one conversion shared by every pattern that runs
    auto collect = [&](std::initializer_list<Kind> kinds) {
        for (Kind kind : kinds) {
            if (!shape.allows(kind)) continue;
            if (!subject) subject.emplace(repaired);
            for (const Pattern::Match& m : patternFor(kind).matches(*subject))
                if (const auto date = dateOf(kind, m)) out.push_back({*date, baseScore(kind), m.full});
        }
    };
    collect({Kind::era, Kind::western, Kind::english, Kind::englishDayFirst});
    if (out.empty()) collect({Kind::shortKanjiYear, Kind::shortYear, Kind::compact});
    if (out.empty() && repaired.find_first_of("69") != std::string_view::npos) {
        if (!subject) subject.emplace(repaired);
        for (const Pattern::Match& m : looseWesternPattern().matches(*subject))
            if (const auto date = slashedZeroDate(m))
                out.push_back({*date, baseScore(Kind::western) - repairedDigitsPenalty, m.full, true});
    }
    return out;
}

std::vector<ExtractedDate> extract(std::span<const TextLine> lines) {
    return extract(PreparedLines(lines));
}

std::vector<ExtractedDate> extract(const PreparedLines& lines) {
    std::vector<ExtractedDate> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!mayHoldDate(lines.line(i).text)) continue;
        std::vector<Candidate> found = candidates(lines.normalized(i));
        if (found.empty()) continue;
        const int lineScore =
            labelScore(lines.prepared(i)) + positionBonus(lines.line(i).top) + (i == 0 ? 5 : 0);
        for (Candidate& c : found) {
            const bool twoDigitYear = !c.hasRepairedDigits && (c.score == baseScore(Kind::shortKanjiYear) ||
                                                               c.score == baseScore(Kind::shortYear));
            out.push_back({c.date, c.score + lineScore, static_cast<std::int64_t>(i), std::move(c.raw),
                           twoDigitYear, c.hasRepairedDigits});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const ExtractedDate& a, const ExtractedDate& b) {
        if (a.score != b.score) return a.score > b.score;
        return a.lineIndex < b.lineIndex;
    });
    return out;
}

std::optional<ExtractedDate> best(std::span<const TextLine> lines) {
    std::vector<ExtractedDate> all = extract(lines);
    if (all.empty()) return std::nullopt;
    return std::move(all.front());
}

std::string westernizeEras(std::string_view text) {
    const Unicode::Text subject(text);
    const std::string_view bytes = subject.utf8();
    std::string out;
    out.reserve(bytes.size());
    std::size_t copied = 0;
    // Left to right over the original ranges, which is the same as replacing from the last match backwards.
    for (const Pattern::Match& m : eraPattern().matches(subject)) {
        const auto date = dateOf(Kind::era, m);
        if (!date) continue;
        out.append(bytes.substr(copied, m.range.begin - copied));
        out += std::to_string(date->year) + "年" + std::to_string(date->month) + "月" +
               std::to_string(date->day) + "日";
        out += separatorAfterDay(m.full);
        copied = m.range.end;
    }
    out.append(bytes.substr(copied));
    return out;
}

}  // namespace tavori::DateExtractor
