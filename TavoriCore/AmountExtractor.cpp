#include "TavoriCore/AmountExtractor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <set>
#include <utility>

#include "TavoriCore/NumberScanner.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const ExtractedAmount& amount) {
    return os << "ExtractedAmount{" << amount.amount << " score:" << amount.score
              << " line:" << amount.lineIndex << " \"" << amount.raw << "\"}";
}

namespace AmountExtractor {

std::ostream& operator<<(std::ostream& os, const NumericToken& token) {
    return os << "NumericToken{\"" << token.value << "\"" << (token.hasCurrencyMark ? " currency" : "")
              << (token.hasComma ? " comma" : "") << (token.hasDecimals ? " decimals" : "") << '}';
}

namespace {

constexpr std::size_t labelCount = 37;

// What a keyword says about the line that holds it.
enum class Role : std::uint8_t { label, negative, taxLabel, taxInclusion, receiptPhrase, dateMark };

struct Keyword {
    Role role;
    std::size_t row;  // position in its own table
};

// All keyword tables in one index, so that one walk over a line finds every keyword in it; `keywords` says
// what each of the index's keywords means. The short negative entries are whole-word keywords.
struct Vocabulary {
    std::vector<int> labelWeights;  // `positiveLabels`, in table order
    std::vector<std::size_t> labelLengths;
    std::vector<Keyword> keywords;
    Unicode::KeywordIndex index;

    void add(std::string text, Role role, std::size_t row, bool wholeWord) {
        keywords.push_back({role, row});
        index.add(std::move(text), wholeWord);
    }
};

const Vocabulary& vocabulary() {
    static const Vocabulary v = [] {
        static constexpr std::pair<const char*, int> positiveLabels[] = {
            {"ご請求金額", 100},    {"御請求金額", 100},  {"請求金額", 95},     {"ご請求額", 95},
            {"請求額", 90},         {"お支払金額", 95},   {"お支払い金額", 95}, {"支払金額", 90},
            {"お支払額", 90},       {"支払額", 85},       {"領収金額", 100},    {"領収額", 95},
            {"代引金額", 95},       {"代金引換", 90},     {"お会計", 85},       {"お買上げ合計", 90},
            {"お買い上げ合計", 90}, {"お買上合計", 90},   {"合計金額", 85},     {"総合計", 85},
            {"総額", 80},           {"税込合計", 90},     {"合計(税込)", 90},   {"合計（税込）", 90},
            {"合計", 70},           {"合 計", 70},        {"計", 30},           {"金額", 40},
            {"Total", 70},          {"TOTAL", 70},        {"Grand Total", 90},  {"Amount Due", 90},
            {"Amount Paid", 90},    {"Total Amount", 85}, {"Order Total", 85},  {"Amount", 40},
            {"Paid", 50},
        };
        static constexpr const char* negativeLabels[] = {
            "小計",     "税抜",    "税別",     "本体",      "消費税", "内税",     "外税",   "内消費税",
            "対象",     "うち",    "お預り",   "お預かり",  "預り",   "お釣",     "おつり", "釣銭",
            "ポイント", "P",       "残高",     "値引",      "割引",   "クーポン", "手数料", "送料",
            "単価",     "数量",    "Subtotal", "Sub Total", "Tax",    "VAT",      "Change", "Tendered",
            "Discount", "Balance", "Points",   "ending",    "Card",   "card",     "Visa",   "Mastercard",
            "Number",   "number",  "#",        "登録番号",  "電話",   "TEL",      "Tel",    "FAX",
            "No.",      "No",      "番号",     "〒",        "個",     "×",        "x ",     "丁目",
            "番地",     "号室",    "コード",   "ｺｰﾄﾞ",      "個数",   "お釣り",
        };
        static_assert(std::size(positiveLabels) == labelCount);
        static_assert(std::size(negativeLabels) == 62);
        const std::vector<std::string> taxLabels = {Unicode::lowercasedNfc("消費税"),
                                                    Unicode::lowercasedNfc("内税"),
                                                    Unicode::lowercasedNfc("内消費税")};

        Vocabulary v;
        for (std::size_t row = 0; row < std::size(positiveLabels); ++row) {
            std::string keyword = Unicode::lowercasedNfc(positiveLabels[row].first);
            v.labelWeights.push_back(positiveLabels[row].second);
            v.labelLengths.push_back(keyword.size());
            v.add(std::move(keyword), Role::label, row, false);
        }
        for (std::size_t row = 0; row < std::size(negativeLabels); ++row) {
            // Entries of fewer than three characters match only a separate word, compared without the
            // white space around the entry ("x " is the word "x").
            const std::string lowered = Unicode::lowercased(negativeLabels[row]);
            const bool wholeWord = Unicode::characterCount(lowered) < 3;
            std::string text = Unicode::nfc(wholeWord ? Unicode::trim(lowered) : lowered);
            if (text.empty()) continue;
            const bool tax = std::find(taxLabels.begin(), taxLabels.end(), text) != taxLabels.end();
            v.add(std::move(text), tax ? Role::taxLabel : Role::negative, row, wholeWord);
        }
        for (const char* word : {"税込", "消費税含", "消費税込", "込み"})
            v.add(Unicode::lowercasedNfc(word), Role::taxInclusion, 0, false);
        for (const char* phrase : {"正に領収", "上記", "領収いたしました"})
            v.add(Unicode::lowercasedNfc(phrase), Role::receiptPhrase, 0, false);
        for (const char* mark : {"年", "月", "日", "/", ":", "時", "分"})
            v.add(Unicode::lowercasedNfc(mark), Role::dateMark, 0, false);
        return v;
    }();
    return v;
}

// The keywords found in one lower-cased, canonical text.
struct Findings {
    std::array<std::size_t, labelCount> labelAt;  // byte offset of each label row's first occurrence, or npos
    bool anyLabel = false;
    bool negative = false;  // an entry that always counts
    bool taxLabel = false;
    bool taxIncluded = false;
    bool receiptPhrase = false;
    bool dateMark = false;

    // Tax labels do not count on a line that says the tax is included.
    bool isNegative() const { return negative || (taxLabel && !taxIncluded); }
};

void note(Findings& f, const Keyword& k, std::size_t at) {
    switch (k.role) {
        case Role::label:
            if (f.labelAt[k.row] == std::string_view::npos) f.labelAt[k.row] = at;
            f.anyLabel = true;
            break;
        case Role::negative:
            f.negative = true;
            break;
        case Role::taxLabel:
            f.taxLabel = true;
            break;
        case Role::taxInclusion:
            f.taxIncluded = true;
            break;
        case Role::receiptPhrase:
            f.receiptPhrase = true;
            break;
        case Role::dateMark:
            f.dateMark = true;
            break;
    }
}

Findings findIn(std::string_view lowered) {
    const Vocabulary& v = vocabulary();
    Findings f;
    f.labelAt.fill(std::string_view::npos);
    const auto noteKeyword = [&](std::size_t k, std::size_t at) { note(f, v.keywords[k], at); };
    v.index.search(lowered, noteKeyword);
    v.index.searchWords(lowered, noteKeyword);
    // Receipts space out 小　計 as often as 合　計: the two words are the subtotal.
    std::string_view previous;
    for (std::size_t begin = 0; begin < lowered.size();) {
        std::size_t end = lowered.find(' ', begin);
        if (end == std::string_view::npos) end = lowered.size();
        const std::string_view word = lowered.substr(begin, end - begin);
        if (!word.empty()) {
            if (previous == "小" && word == "計") f.negative = true;
            previous = word;
        }
        begin = end + 1;
    }
    return f;
}

// The highest weight among the label rows found (not their sum).
int ownLabel(const Findings& f) {
    if (!f.anyLabel) return 0;
    const auto& weights = vocabulary().labelWeights;
    int best = 0;
    for (std::size_t row = 0; row < weights.size(); ++row)
        if (f.labelAt[row] != std::string_view::npos) best = std::max(best, weights[row]);
    return best;
}

struct LabelAbove {
    int score = 0;
    std::size_t cut = 0;  // byte offset in the line above where the text after its label starts
};

// A label on the line above counts a little less than one on the line itself. Rows are taken in table order
// and compared with the already reduced running value, so overlapping keywords can lower it step by step.
LabelAbove labelAbove(const Findings& f) {
    const Vocabulary& v = vocabulary();
    LabelAbove result;
    int running = 0;
    for (std::size_t row = 0; row < v.labelWeights.size(); ++row) {
        if (f.labelAt[row] == std::string_view::npos || v.labelWeights[row] < running) continue;
        running = v.labelWeights[row] - 5;
        result.score = running;
        result.cut = f.labelAt[row] + v.labelLengths[row];
    }
    return result;
}

// What one pass over a line's valid text tells about its scalars.
struct Profile {
    bool otherDigits = false;   // a decimal digit outside ASCII
    bool ownCharacters = true;  // every scalar is a character of its own, so scalars and characters agree
    bool letters = false;       // some scalar is alphabetic
};

Profile profileOf(std::string_view text) {
    Profile p;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            p.letters = p.letters || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
            p.ownCharacters = p.ownCharacters && byte != '\r';
            ++i;
            continue;
        }
        const std::uint8_t t = Unicode::traits(Unicode::nextScalar(text, i));
        p.otherDigits = p.otherDigits || (t & Unicode::Trait::decimalDigit);
        p.ownCharacters = p.ownCharacters && (t & Unicode::Trait::ownCharacter);
        p.letters = p.letters || (t & Unicode::Trait::letter);
    }
    return p;
}

// The up to three characters on either side of a number. On a line whose scalars are all characters of their
// own the windows are cut by scalars; otherwise by grapheme clusters.
struct Windows {
    std::string before;
    std::string after;
};

bool ownCharacter(char32_t c) {
    return c < 0x80 ? c != U'\r' : (Unicode::traits(c) & Unicode::Trait::ownCharacter) != 0;
}

// Walks from byte `at` of valid `text`, backwards or forwards, past `count` places where a character boundary
// is certain whatever the context, or to the end of the text. The characters between there and `at` are
// then those of the whole text, and a long line costs no more than the stretch walked.
std::size_t pastCertainBoundaries(std::string_view text, std::size_t at, int count, bool backwards) {
    auto isLead = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80; };
    auto previousStart = [&](std::size_t i) {
        do --i;
        while (i > 0 && !isLead(i));
        return i;
    };
    auto nextStart = [&](std::size_t i) {
        do ++i;
        while (i < text.size() && !isLead(i));
        return i;
    };
    auto scalarAt = [&](std::size_t i) { return Unicode::nextScalar(text, i); };
    std::size_t p = at;
    while (count > 0 && (backwards ? p > 0 : p < text.size())) {
        p = backwards ? previousStart(p) : nextStart(p);
        if (p > 0 && p < text.size() && ownCharacter(scalarAt(previousStart(p))) && ownCharacter(scalarAt(p)))
            --count;
    }
    return p;
}

Windows windowsAround(std::string_view text, std::size_t begin, std::size_t end, bool singleScalars) {
    if (!singleScalars) {
        const std::size_t from = pastCertainBoundaries(text, begin, 3, true);
        const std::size_t to = pastCertainBoundaries(text, end, 3, false);
        return {Unicode::suffixCharacters(text.substr(from, begin - from), 3),
                Unicode::prefixCharacters(text.substr(end, to - end), 3)};
    }
    auto isLead = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80; };
    std::size_t from = begin;
    for (int n = 0; n < 3 && from > 0; ++n) {
        --from;
        while (from > 0 && !isLead(from)) --from;
    }
    std::size_t to = end;
    for (int n = 0; n < 3 && to < text.size(); ++n) {
        ++to;
        while (to < text.size() && !isLead(to)) ++to;
    }
    return {std::string(text.substr(from, begin - from)), std::string(text.substr(end, to - end))};
}

// `before` and `after` are prepared windows.
bool hasCurrencyMark(std::string_view before, std::string_view after) {
    auto bHas = [&](std::string_view needle) { return Unicode::containsPrepared(before, needle); };
    auto aStarts = [&](std::string_view needle) { return Unicode::findPrepared(after, needle) == 0; };
    return bHas("¥") || bHas("$") || bHas("€") || aStarts("円") || aStarts(" 円") || aStarts("-") ||
           bHas("jpy") || aStarts("jpy") || bHas("usd") || aStarts("usd") || bHas("eur");
}

// Ill-formed bytes read as U+FFFD, which is no digit.
bool holdsDecimalDigit(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {
            if (byte >= '0' && byte <= '9') return true;
            ++i;
            continue;
        }
        if (Unicode::traits(Unicode::nextScalar(s, i)) & Unicode::Trait::decimalDigit) return true;
    }
    return false;
}

// `text` is valid UTF-8; `isPrepared` says that it is in its searched form already, so its windows need no
// preparing.
// The buffers that one extraction reuses from line to line.
struct Scratch {
    NumberScanner::Buffers scanner;
    std::vector<NumericToken> tokens;
    std::vector<std::int64_t> values;  // per token; 0 when not accepted
    std::vector<bool> countOrPercent;  // per token: a count of items (6点) or a percentage (8%)
};

// A number followed by the counter 点 counts items, one followed by % is a rate: neither is ever an amount.
bool countsOrRates(std::string_view after) {
    if (after.starts_with('%')) return true;
    if (after.starts_with(' ')) after.remove_prefix(1);
    return after.starts_with("点");
}

// Lines that give the number of items bought: 合計点数 6点, お買上点数 3点, 点数 12, Total Qty: 3,
// Total Item(s): 10. Like 個数 and 数量 lines, their numbers never compete with the total.
bool isCountLine(std::string_view lowered) {
    for (const std::string_view word : {"点数", "qty", "item(s)", "total items"})
        if (lowered.find(word) != std::string_view::npos) return true;
    return false;
}

void tokensOf(std::string_view text, const Profile& profile, bool isPrepared, Scratch& scratch) {
    std::vector<NumericToken>& tokens = scratch.tokens;
    tokens.clear();
    scratch.countOrPercent.clear();
    const NumberScanner scanner(text, profile.otherDigits, scratch.scanner);
    scanner.forEach([&](const NumberScanner::Found& found) {
        const std::size_t begin = scanner.byteOffset(found.begin);
        const std::size_t end = scanner.byteOffset(found.end);
        NumericToken token;
        token.value = std::string(text.substr(begin, end - begin));
        token.hasComma = token.value.find(',') != std::string::npos;
        token.hasDecimals = found.integerEnd != found.end;
        Windows w = windowsAround(text, begin, end, profile.ownCharacters);
        if (!isPrepared) w = {Unicode::lowercasedNfc(w.before), Unicode::lowercasedNfc(w.after)};
        token.hasCurrencyMark = hasCurrencyMark(w.before, w.after);
        tokens.push_back(std::move(token));
        scratch.countOrPercent.push_back(countsOrRates(w.after));
    });
}

std::optional<std::int64_t> integerOf(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (const char c : digits) {
        const int digit = c - '0';
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::size_t numberCount(std::string_view text, const Profile& profile) {
    std::size_t count = 0;
    if (profile.ownCharacters) {
        for (std::size_t i = 0; i < text.size();)
            if (Unicode::isNumber(Unicode::nextScalar(text, i))) ++count;
        return count;
    }
    for (const char32_t c : Unicode::firstScalars(text))
        if (Unicode::isNumber(c)) ++count;
    return count;
}

// Whether some character of the line is a letter by its first scalar.
bool holdsLetter(std::string_view text, const Profile& profile) {
    if (profile.ownCharacters || !profile.letters) return profile.letters;
    const auto scalars = Unicode::firstScalars(text);
    return std::any_of(scalars.begin(), scalars.end(), [](char32_t c) { return Unicode::isLetter(c); });
}

bool tokenCanBeDate(std::string_view token) {
    return token.find(',') == std::string_view::npos && Unicode::characterCount(token) < 5;
}

bool tokenIsLongRun(std::string_view token) {
    return token.find(',') == std::string_view::npos && Unicode::characterCount(token) >= 10;
}

int positionBonus(double top) {
    if (!std::isfinite(top) || top <= 0) return 0;
    return static_cast<int>(std::min(top, 1.0) * 10);
}

// The findings of prepared lines, made when first needed: a line is looked at as a candidate and again as
// the line above or below a bare number.
class LineTexts {
  public:
    explicit LineTexts(const PreparedLines& lines) : lines_(lines), findings_(lines.size()) {}

    const std::string& normalized(std::size_t i) const { return lines_.normalized(i); }
    // The searched form; most lines are in it already and share the normalised string.
    const std::string& lowered(std::size_t i) const { return lines_.prepared(i).folded(); }
    bool isPrepared(std::size_t i) const { return lines_.prepared(i).foldsToItself(); }
    const Findings& findings(std::size_t i) {
        std::optional<Findings>& f = findings_[i];
        if (!f) f = findIn(lowered(i));
        return *f;
    }

  private:
    const PreparedLines& lines_;
    std::vector<std::optional<Findings>> findings_;
};

bool endsWithClosingMark(std::string_view text) {
    for (const std::string_view mark : {"-", "―", "ー", "※"})
        if (text.ends_with(mark)) return true;
    return false;
}

void collectLine(LineTexts& texts, const PreparedLines& lines, std::size_t i, Scratch& scratch,
                 std::vector<ExtractedAmount>& out) {
    // Normalising maps full-width digits to ASCII and makes no other digits, so the raw text can tell; its
    // ill-formed bytes read as U+FFFD, which is no digit.
    if (!holdsDecimalDigit(lines.line(i).text)) return;
    if (isCountLine(texts.lowered(i))) return;
    const std::string& text = texts.normalized(i);
    const Profile profile = profileOf(text);
    tokensOf(text, profile, texts.isPrepared(i), scratch);
    const std::vector<NumericToken>& tokens = scratch.tokens;
    std::vector<std::int64_t>& values = scratch.values;
    values.assign(tokens.size(), 0);
    bool anyAccepted = false;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        if (scratch.countOrPercent[k]) continue;
        const auto value = parseValue(tokens[k]);
        if (value && *value >= 1 && *value <= maximumAmount) {
            values[k] = *value;
            anyAccepted = true;
        }
    }
    if (!anyAccepted) return;

    const Findings& own = texts.findings(i);
    int label = ownLabel(own);
    bool labelled = own.anyLabel;
    bool negative = own.isNegative();
    const bool bare = tokens.size() == 1 && !holdsLetter(text, profile);

    if (bare && !labelled && i > 0) {
        const Findings& above = texts.findings(i - 1);
        if (above.anyLabel) {
            const LabelAbove fromAbove = labelAbove(above);
            labelled = true;
            label = fromAbove.score;
            // Only what follows the label on the line above can make the number something else.
            negative =
                negative || findIn(std::string_view(texts.lowered(i - 1)).substr(fromAbove.cut)).isNegative();
        } else {
            negative = negative || above.isNegative();
        }
    }
    if (bare) {
        bool closed = endsWithClosingMark(text);
        for (std::size_t j = i + 1; !closed && j < lines.size() && j <= i + 5; ++j)
            closed = texts.findings(j).receiptPhrase;
        if (closed) {
            label = std::max(label, 80);
            labelled = true;
        }
    }

    std::optional<bool> dateOrTimeLine;
    const int bonus = positionBonus(lines.line(i).top);
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const NumericToken* token = &tokens[k];
        const std::int64_t value = values[k];
        if (value == 0) continue;
        bool dateOrPhone = tokenIsLongRun(token->value);
        if (!dateOrPhone && own.dateMark && tokenCanBeDate(token->value)) {
            if (!dateOrTimeLine) dateOrTimeLine = numberCount(text, profile) > 5;
            dateOrPhone = *dateOrTimeLine;
        }
        int score = label;
        if (token->hasCurrencyMark) score += 25;
        if (token->hasComma) score += 10;
        if (negative) score -= 120;
        if (!labelled && !token->hasCurrencyMark) score -= 20;
        if (dateOrPhone) score -= 100;
        if (labelled) score += bonus;
        if (!labelled && value < 10) score -= 30;
        out.push_back({value, score, static_cast<std::int64_t>(i), text});
    }
}

}  // namespace

const Pattern& numberToken() {
    static const Pattern pattern(R"((?<![\d.]|\d-)(\d{1,3}(?:,\d{3})+|\d{1,9})(\.\d{1,2})?(?![\d.,]|-\d))");
    return pattern;
}

std::vector<NumericToken> numericTokens(std::string_view text) {
    const std::string valid = Unicode::toValidUtf8(text);
    if (!holdsDecimalDigit(valid)) return {};
    const Unicode::PreparedText line(valid);
    Scratch scratch;
    tokensOf(line.text(), profileOf(line.text()), line.foldsToItself(), scratch);
    return std::move(scratch.tokens);
}

std::optional<std::int64_t> parseValue(const NumericToken& token) {
    const std::string repaired = TextNormalizer::repairNumericToken(token.value);
    const std::size_t point = repaired.find('.');
    if (!token.hasDecimals || point == std::string::npos)
        return integerOf(TextNormalizer::digitsOnly(repaired));
    const std::string_view view(repaired);
    const auto whole = integerOf(TextNormalizer::digitsOnly(view.substr(0, point)));
    if (!whole) return std::nullopt;
    std::string fraction = TextNormalizer::digitsOnly(view.substr(point + 1)).substr(0, 2);
    fraction.resize(2, '0');
    if (fraction < "50") return whole;
    if (*whole == std::numeric_limits<std::int64_t>::max()) return std::nullopt;
    return *whole + 1;
}

bool looksLikeDateOrPhone(std::string_view line, std::string_view token) {
    if (tokenIsLongRun(token)) return true;
    if (!tokenCanBeDate(token)) return false;
    const Unicode::PreparedText prepared{std::string(line)};
    const std::string& valid = prepared.text();
    return findIn(prepared.folded()).dateMark && numberCount(valid, profileOf(valid)) > 5;
}

std::vector<ExtractedAmount> extract(std::span<const TextLine> lines) {
    return extract(PreparedLines(lines));
}

std::vector<ExtractedAmount> extract(const PreparedLines& lines) {
    std::vector<ExtractedAmount> found;
    LineTexts texts(lines);
    Scratch scratch;
    for (std::size_t i = 0; i < lines.size(); ++i) collectLine(texts, lines, i, scratch, found);
    // Sorting positions rather than the candidates themselves spares moving their texts around.
    std::vector<std::size_t> order(found.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        const ExtractedAmount& a = found[x];
        const ExtractedAmount& b = found[y];
        if (a.score != b.score) return a.score > b.score;
        if (a.amount != b.amount) return a.amount > b.amount;
        return a.lineIndex < b.lineIndex;
    });
    std::vector<ExtractedAmount> out;
    out.reserve(found.size());
    for (const std::size_t k : order) out.push_back(std::move(found[k]));
    return out;
}

namespace {

constexpr std::array<int, 2> kTaxRates = {8, 10};

// Within a yen of the rate: tills round the tax either way.
bool taxAtRate(std::int64_t subtotal, std::int64_t tax) {
    return std::any_of(kTaxRates.begin(), kTaxRates.end(),
                       [&](int rate) { return std::abs(subtotal * rate - tax * 100) < 100; });
}

bool namesTax(const ExtractedAmount& candidate) {
    static const Pattern taxLabel(R"(税|(?i:tax))");
    return taxLabel.matchesAnywhere(candidate.raw);
}

// Whether `change` can be the change given for `paid`: a smaller figure within two lines after it, on no tax
// row.
bool changeFor(const ExtractedAmount& paid, const ExtractedAmount& change) {
    return change.lineIndex > paid.lineIndex && change.lineIndex <= paid.lineIndex + 2 &&
           change.amount < paid.amount && change.raw.find("税") == std::string::npos &&
           change.raw.find('%') == std::string::npos;
}

// A cash payment shows its total by arithmetic even where every label is unreadable: the money handed over
// is the largest number, the change stands on the line after it, and their difference was printed above
// them twice, as the subtotal and the total. The total's row closest above is returned, at the score of a
// weak label: found without one, it is shown for review.
std::optional<ExtractedAmount> paidLessChange(std::span<const ExtractedAmount> candidates,
                                              const ExtractedAmount& paid) {
    for (const ExtractedAmount& change : candidates) {
        if (!changeFor(paid, change)) continue;
        const std::int64_t total = paid.amount - change.amount;
        std::set<std::int64_t> rows;
        const ExtractedAmount* closest = nullptr;
        for (const ExtractedAmount& c : candidates) {
            if (c.amount != total || c.lineIndex >= paid.lineIndex) continue;
            rows.insert(c.lineIndex);
            if (!closest || c.lineIndex > closest->lineIndex) closest = &c;
        }
        if (rows.size() >= 2) {
            ExtractedAmount found = *closest;
            found.score = std::max(found.score, 40);
            return found;
        }
    }
    return std::nullopt;
}

// Calls `f` with each sum the cash handed over below `total` less the change after it makes, until `f`
// returns true.
template <class F>
bool anyCashLessChange(std::span<const ExtractedAmount> candidates, const ExtractedAmount& total, F f) {
    for (const ExtractedAmount& paid : candidates) {
        if (paid.lineIndex <= total.lineIndex || paid.amount <= total.amount) continue;
        for (const ExtractedAmount& change : candidates)
            if (changeFor(paid, change) && f(paid.amount - change.amount)) return true;
    }
    return false;
}

// Calls `f` with each subtotal and the tax on it (on a row naming a tax, at a rate of the subtotal), both off
// the total's row, until `f` returns true.
template <class F>
bool anyTaxedSubtotal(std::span<const ExtractedAmount> candidates, const ExtractedAmount& total, F f) {
    for (const ExtractedAmount& tax : candidates) {
        if (tax.lineIndex == total.lineIndex || !namesTax(tax)) continue;
        for (const ExtractedAmount& subtotal : candidates)
            if (subtotal.lineIndex != total.lineIndex && taxAtRate(subtotal.amount, tax.amount) &&
                f(subtotal, tax))
                return true;
    }
    return false;
}

// Same length, one digit different: what a misread digit makes of a figure.
bool oneDigitApart(std::int64_t a, std::int64_t b) {
    const std::string x = std::to_string(a), y = std::to_string(b);
    if (x.size() != y.size()) return false;
    int differing = 0;
    for (std::size_t i = 0; i < x.size(); ++i) differing += x[i] != y[i];
    return differing == 1;
}

}  // namespace

bool settledByChange(std::span<const ExtractedAmount> candidates, const ExtractedAmount& total) {
    return anyCashLessChange(candidates, total, [&](std::int64_t sum) { return sum == total.amount; });
}

bool settledByTax(std::span<const ExtractedAmount> candidates, const ExtractedAmount& total) {
    return anyTaxedSubtotal(candidates, total,
                            [&](const ExtractedAmount& subtotal, const ExtractedAmount& tax) {
                                return subtotal.amount + tax.amount == total.amount;
                            });
}

std::optional<std::int64_t> misreadByArithmetic(std::span<const ExtractedAmount> candidates,
                                                const ExtractedAmount& total) {
    std::optional<std::int64_t> found;
    const auto near = [&](std::int64_t sum) {
        if (oneDigitApart(sum, total.amount)) found = sum;
        return found.has_value();
    };
    if (anyCashLessChange(candidates, total, near)) return found;
    anyTaxedSubtotal(candidates, total, [&](const ExtractedAmount& subtotal, const ExtractedAmount& tax) {
        return subtotal.lineIndex != tax.lineIndex && near(subtotal.amount + tax.amount);
    });
    return found;
}

std::vector<std::string> readBlurredCommas(std::vector<TextLine>& lines) {
    static const Pattern blurred(R"((?<![\d.,])(\d{1,3})\.(\d{3})(?![\d.,]))");
    auto anyBlurred = [&](const TextLine& line) {
        return line.text.find('.') != std::string::npos && blurred.matchesAnywhere(line.text);
    };
    if (std::none_of(lines.begin(), lines.end(), anyBlurred)) return {};
    // Only a figure above every clean one is read so: where the total itself blurred, the largest clean
    // figure is a price, and a smaller blurred figure would only add a rival. Whole thousands (「4.000」) are
    // left alone: the usual form of a true decimal (1.000 個), and at a till's foot likelier the cash handed
    // over than the total.
    std::int64_t largest = 0;
    for (const ExtractedAmount& a : extract(lines)) largest = std::max(largest, a.amount);
    std::vector<std::string> figures;
    auto mend = [&](std::string& text) {
        if (text.find('.') == std::string::npos) return;
        for (const Pattern::Match& m : blurred.matches(text)) {
            // Offsets count in the text made valid; an ill-formed line may not have its point there.
            const std::size_t point = m.range.begin + m.group(1).size();
            const auto value = integerOf(TextNormalizer::digitsOnly(m.group(1) + m.group(2)));
            if (point >= text.size() || text[point] != '.' || m.group(2) == "000" || !value ||
                *value <= largest)
                continue;
            text[point] = ',';
            figures.push_back(m.full);
        }
    };
    for (TextLine& line : lines) {
        mend(line.text);
        for (std::string& alternative : line.alternatives) mend(alternative);
    }
    return figures;
}

std::optional<ExtractedAmount> bestOf(std::span<const ExtractedAmount> sorted) {
    if (sorted.empty()) return std::nullopt;
    if (sorted.front().score >= 40) return sorted.front();
    const ExtractedAmount* largest = nullptr;
    for (const ExtractedAmount& candidate : sorted)
        if (candidate.score >= -10 && (!largest || candidate.amount > largest->amount)) largest = &candidate;
    // The receipt's arithmetic (cash less change, printed twice above) outweighs a label of no more than
    // weak weight, often a garbled one.
    if (largest)
        if (auto total = paidLessChange(sorted, *largest)) return total;
    if (sorted.front().score >= 20) return sorted.front();
    // Without a label worth the name, the largest plausible number is the likeliest total.
    return largest ? *largest : sorted.front();
}

std::optional<ExtractedAmount> best(std::span<const TextLine> lines) {
    return bestOf(extract(lines));
}

}  // namespace AmountExtractor
}  // namespace tavori
