#include "TavoriCore/TaxBreakdownExtractor.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"

namespace tavori::TaxBreakdownExtractor {
namespace {

constexpr std::array<int, 2> kRates = {10, 8};

// Keyword scores of an amount's reading: the word that names it as the amount subject to a rate, or as its
// tax, counts for more than its place on a rate's line.
constexpr int kSubjectWord = 50;
constexpr int kSubjectByPlace = 20;

bool contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

bool containsAny(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return contains(text, w); });
}

const Pattern& ratePattern() {
    static const Pattern p(R"((?<![\d.])(10|8)(?:\.0)?\s*%)");
    return p;
}

// An amount: not a percentage, not a part of a longer number.
const Pattern& amountPattern() {
    static const Pattern p(R"((?<![\d.,])(\d{1,3}(?:,\d{3})+|\d{1,9})(?![\d,.]|\s*%))");
    return p;
}

std::optional<int> rateIn(std::string_view text) {
    const auto found = ratePattern().matches(text);
    if (!found.empty()) return std::stoi(found.front().group(1));
    if (contains(text, "軽減")) return 8;
    if (contains(text, "標準税率")) return 10;
    return std::nullopt;
}

bool isSubjectWord(std::string_view text) {
    return containsAny(text, {"対象", "課税"});
}

std::size_t lastOf(std::string_view text, std::initializer_list<std::string_view> words) {
    std::size_t last = std::string_view::npos;
    for (const std::string_view w : words)
        if (const std::size_t at = text.rfind(w); at != std::string_view::npos)
            last = last == std::string_view::npos ? at : std::max(last, at);
    return last;
}

// A label that names the tax: 「内消費税」, 「消費税等(10%)」, 「税額」, or 「税」 alone between brackets.
// The word nearest the amount decides: 「外税 10%対象」 labels the amount subject to the rate.
bool isTaxLabel(std::string_view label) {
    const std::size_t tax = lastOf(label, {"消費税", "税額", "内税", "外税"});
    if (tax != std::string_view::npos) {
        const std::size_t subject = lastOf(label, {"対象", "課税"});
        return subject == std::string_view::npos || tax > subject;
    }
    std::string bare;
    for (const char c : label)
        if (std::string_view(" ()[]:¥\\").find(c) == std::string_view::npos) bare += c;
    return bare == "税" || bare == "内税" || bare == "うち税";
}

// Lines that mention a rate for another reason: discounts on reduced-rate goods, the legend of the mark.
bool isUnrelated(std::string_view text) {
    return containsAny(text, {"値引", "割引", "引き", "OFF", "off", "商品", "印"});
}

struct Found {
    std::optional<std::int64_t> subject;
    int subjectScore = 0;
    std::optional<std::int64_t> tax;
};

struct Reading {
    std::array<Found, kRates.size()> byRate;
    bool includedWord = false;
    bool excludedWord = false;

    Found& at(int rate) { return byRate[rate == 8 ? 1 : 0]; }
    void subject(int rate, std::int64_t value, int score) {
        Found& f = at(rate);
        if (f.subject && f.subjectScore >= score) return;
        f.subject = value;
        f.subjectScore = score;
    }
    void tax(int rate, std::int64_t value) {
        Found& f = at(rate);
        if (!f.tax) f.tax = value;
    }
};

std::optional<std::int64_t> valueOf(const Pattern::Match& m) {
    const std::string digits = TextNormalizer::digitsOnly(m.group(1));
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    const std::int64_t value = std::stoll(digits);
    return value > 0 ? std::optional(value) : std::nullopt;
}

// Letters, kana or kanji: what an amount alone on its line, with its yen sign and brackets, lacks.
bool hasLetters(std::string_view text) {
    std::string rest(text);
    for (std::size_t at; (at = rest.find("¥")) != std::string::npos;)
        rest.erase(at, std::string_view("¥").size());
    return std::any_of(rest.begin(), rest.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x80 || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
    });
}

Reading read(const PreparedLines& lines) {
    Reading reading;
    // A rate named with its label on one line and its amount on the next, or an amount whose tax follows on
    // the next line: the rate and the line that named it.
    std::optional<std::pair<int, std::size_t>> labelOnly;
    std::optional<std::pair<int, std::size_t>> lastRate;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& text = lines.normalized(i);
        if (containsAny(text, {"内消費税", "内税", "(内", "税込", "うち消費税"})) reading.includedWord = true;
        if (containsAny(text, {"外税", "税抜", "税別", "外消費税"})) reading.excludedWord = true;
        if (isUnrelated(text)) continue;
        const std::optional<int> rate = rateIn(text);
        const auto amounts = amountPattern().matches(text);
        if (amounts.empty()) {
            if (rate && (isSubjectWord(text) || isTaxLabel(text))) labelOnly = {{*rate, i}};
            continue;
        }
        if (!rate) {
            const auto value = valueOf(amounts.front());
            if (!value) continue;
            if (labelOnly && labelOnly->second + 1 == i) {
                const std::string& label = lines.normalized(labelOnly->second);
                if (isTaxLabel(label) && !isSubjectWord(label))
                    reading.tax(labelOnly->first, *value);
                else if (!hasLetters(text))
                    reading.subject(labelOnly->first, *value, kSubjectWord);
                lastRate = {{labelOnly->first, i}};
            } else if (lastRate && lastRate->second + 1 == i) {
                // 「(内消費税 ¥200)」 under its amount; a total beside it on the line is not the tax.
                std::size_t labelBegin = 0;
                for (const auto& amount : amounts) {
                    const auto label =
                        std::string_view(text).substr(labelBegin, amount.range.begin - labelBegin);
                    labelBegin = amount.range.end;
                    if (isTaxLabel(label) && valueOf(amount)) {
                        reading.tax(lastRate->first, *valueOf(amount));
                        break;
                    }
                }
            }
            continue;
        }
        std::size_t labelBegin = 0;
        for (std::size_t k = 0; k < amounts.size(); ++k) {
            const auto value = valueOf(amounts[k]);
            const std::string_view label =
                std::string_view(text).substr(labelBegin, amounts[k].range.begin - labelBegin);
            labelBegin = amounts[k].range.end;
            if (!value) continue;
            if (isTaxLabel(label))
                reading.tax(*rate, *value);
            else if (isSubjectWord(label))
                reading.subject(*rate, *value, kSubjectWord);
            else if (k == 0 && isSubjectWord(text))
                reading.subject(*rate, *value, kSubjectByPlace);
        }
        lastRate = {{*rate, i}};
    }
    return reading;
}

}  // namespace

std::vector<TaxRateAmount> extract(const PreparedLines& lines, std::optional<std::int64_t> total) {
    const Reading reading = read(lines);
    std::vector<TaxRateAmount> rates;
    std::optional<int> taxOnly;  // the rate whose tax alone was printed
    for (std::size_t r = 0; r < kRates.size(); ++r) {
        const Found& f = reading.byRate[r];
        if (f.subject)
            rates.push_back(TaxRateAmount{kRates[r], *f.subject, f.tax, true});
        else if (f.tax && !taxOnly)
            taxOnly = kRates[r];
    }
    if (rates.empty() && !taxOnly) return {};

    // Which reading adds up to the total decides whether the amounts hold their tax; the words decide only
    // when neither does, and tills print tax-included amounts unless they say otherwise.
    bool included = !(reading.excludedWord && !reading.includedWord);
    if (total && !taxOnly) {
        const std::int64_t withTax = TaxBreakdown::grossTotal(rates);
        auto excluded = rates;
        for (auto& r : excluded) r.taxIncluded = false;
        if (withTax == *total)
            included = true;
        else if (TaxBreakdown::grossTotal(excluded) == *total)
            included = false;
    }
    for (auto& r : rates) r.taxIncluded = included;

    // A tax printed on a line of its own was added to the amounts, unless the line says it is inside them.
    if (taxOnly && rates.empty()) included = reading.includedWord && !reading.excludedWord;
    if (taxOnly && total) {
        const std::int64_t rest = *total - TaxBreakdown::grossTotal(rates);
        const std::int64_t tax = *reading.byRate[*taxOnly == 8 ? 1 : 0].tax;
        if (rest > tax) {
            TaxRateAmount derived{*taxOnly, included ? rest : rest - tax, tax, included};
            rates.insert(*taxOnly == 10 ? rates.begin() : rates.end(), derived);
        }
    }
    return rates;
}

std::vector<TaxRateAmount> extract(std::span<const TextLine> lines, std::optional<std::int64_t> total) {
    return extract(PreparedLines(lines), total);
}

}  // namespace tavori::TaxBreakdownExtractor
