#include "TavoriCore/VendorExtractor.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"
#include "TavoriCore/Utf8.h"
#include "TavoriCore/VendorWords.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const ExtractedVendor& vendor) {
    return os << "ExtractedVendor{\"" << vendor.name << "\" score:" << vendor.score
              << " line:" << vendor.lineIndex << '}';
}

namespace VendorExtractor {
namespace {

// Names for the lists a line is searched for; the bit of each found word is its position in its list.
enum WordList : std::size_t {
    kIssuer,
    kBrand,
    kRecipient,
    kAddress,
    kContact,
    kCorporate,
    kExcluded,
    kRegistrationWord,
    kListCount
};
using Found = std::array<std::bitset<128>, kListCount>;

constexpr unsigned bit(WordList list) {
    return 1u << list;
}
constexpr unsigned kFoldedLists = bit(kIssuer) | bit(kBrand);
constexpr unsigned kCanonicalLists = bit(kRecipient) | bit(kAddress) | bit(kContact) | bit(kCorporate) |
                                     bit(kExcluded) | bit(kRegistrationWord);
constexpr unsigned kNameLists = bit(kRecipient) | bit(kAddress) | bit(kContact);

// Several word lists in one keyword index, so that a line is walked once per preparation instead of being
// searched once per word; each keyword's number maps back to its list and its position there.
class KeywordIndex {
  public:
    template <std::size_t N>
    void add(WordList list, const std::array<std::string_view, N>& words, bool folded) {
        static_assert(N <= 128);
        for (std::size_t k = 0; k < N; ++k) {
            index_.add(folded ? Unicode::lowercasedNfc(words[k]) : Unicode::nfc(words[k]));
            origins_.push_back({list, k});
        }
    }

    // Marks in `found` every word of the lists in `mask` that `haystack` (valid UTF-8, prepared like the
    // words) contains.
    void scan(std::string_view haystack, unsigned mask, Found& found) const {
        index_.search(
            haystack, [&](std::size_t k) { return (mask & bit(origins_[k].list)) != 0; },
            [&](std::size_t k, std::size_t) { found[origins_[k].list].set(origins_[k].index); });
    }

  private:
    struct Origin {
        WordList list;
        std::size_t index;
    };
    Unicode::KeywordIndex index_;
    std::vector<Origin> origins_;
};

const KeywordIndex& foldedIndex() {
    static const KeywordIndex index = [] {
        KeywordIndex i;
        i.add(kIssuer, kIssuerLabels, true);
        i.add(kBrand, kKnownBrands, true);
        return i;
    }();
    return index;
}

// The lists searched case-sensitively, under canonical equivalence.
void addCaseSensitiveLists(KeywordIndex& i) {
    i.add(kRecipient, kRecipientLabels, false);
    i.add(kAddress, kAddressMarkers, false);
    i.add(kContact, kContactMarkers, false);
    i.add(kCorporate, kCorporateMarkers, false);
    i.add(kExcluded, kExcludedKeywords, false);
    i.add(kRegistrationWord, std::array<std::string_view, 1>{"登録番号"}, false);
}

// Both kinds in one, for a line that is its own NFC and lower-cased form.
const KeywordIndex& combinedIndex() {
    static const KeywordIndex index = [] {
        KeywordIndex i;
        i.add(kIssuer, kIssuerLabels, true);
        i.add(kBrand, kKnownBrands, true);
        addCaseSensitiveLists(i);
        return i;
    }();
    return index;
}

const KeywordIndex& canonicalIndex() {
    static const KeywordIndex index = [] {
        KeywordIndex i;
        addCaseSensitiveLists(i);
        return i;
    }();
    return index;
}

template <std::size_t N>
std::vector<std::string> prepared(const std::array<std::string_view, N>& words, bool folded) {
    std::vector<std::string> out;
    for (std::string_view w : words) out.push_back(folded ? Unicode::lowercasedNfc(w) : Unicode::nfc(w));
    return out;
}

const std::vector<std::string>& foldedIssuerLabels() {
    static const auto words = prepared(kIssuerLabels, true);
    return words;
}

const std::vector<std::string>& trailingTitles() {
    static const auto words = prepared(kTrailingTitles, false);
    return words;
}

const std::vector<std::string>& honorifics() {
    static const auto words = prepared(kHonorifics, false);
    return words;
}

const Pattern& issuerPrefixPattern() {
    static const Pattern pattern("^[\\s:：]+");
    return pattern;
}

const Pattern& codePattern() {
    static const Pattern pattern("(コード|ｺｰﾄﾞ|No\\.?|番号)\\s*[:：]?\\s*[\\d\\-]+");
    return pattern;
}

const Pattern& leadingDecorationPattern() {
    static const Pattern pattern("^[\\s*＊★☆■□◆◇●○・:：\\-]+");
    return pattern;
}

const Pattern& trailingDecorationPattern() {
    static const Pattern pattern("[\\s*＊★☆■□◆◇●○・:：\\-]+$");
    return pattern;
}

char32_t firstScalar(std::string_view s) {
    std::size_t i = 0;
    return s.empty() ? U'\0' : Unicode::nextScalar(s, i);
}

char32_t lastScalar(std::string_view s) {
    if (s.empty()) return U'\0';
    std::size_t back = Unicode::lastScalarStart(s);
    return Unicode::nextScalar(s, back);
}

// A superset of the characters the decoration and prefix patterns remove (their "\s" is White_Space, which is
// the space separators, tab and the line breaks), so that a text that cannot match skips the regex entirely.
bool mayBeDecoration(char32_t c) {
    if (c < 0x80) return c <= 0x20 || c == '*' || c == ':' || c == '-';
    switch (c) {
        case U'＊':
        case U'★':
        case U'☆':
        case U'■':
        case U'□':
        case U'◆':
        case U'◇':
        case U'●':
        case U'○':
        case U'・':
        case U'：':
            return true;
        default:
            return Unicode::isSpace(c) || Unicode::isNewline(c);
    }
}

std::string withoutMatches(const Pattern& pattern, std::string text) {
    return pattern.replacingMatches(text, "");
}

bool mayHoldCode(std::string_view s) {
    return s.find("No") != std::string_view::npos || s.find("番号") != std::string_view::npos ||
           s.find("コード") != std::string_view::npos || s.find("ｺｰﾄﾞ") != std::string_view::npos;
}

// Whole-character suffix test; a text known to be in NFC can only end with an NFC word byte for byte.
std::size_t suffixLength(std::string_view s, const std::string& word, bool nfc) {
    if (nfc && (s.empty() || s.back() != word.back() || !s.ends_with(word))) return 0;
    return Unicode::suffixLength(s, word);
}

bool endsWithHonorific(std::string_view s, bool nfc = false) {
    return std::any_of(honorifics().begin(), honorifics().end(),
                       [&](const std::string& h) { return suffixLength(s, h, nfc) > 0; });
}

// `clean` of a text already trimmed and valid.
std::string cleaned(std::string t, bool nfc) {
    bool trimmed = true;
    for (const std::string& title : trailingTitles())
        if (const std::size_t n = suffixLength(t, title, nfc))
            t = Unicode::trim(std::string_view(t).substr(0, t.size() - n));
    if (!t.empty() && mayBeDecoration(firstScalar(t))) {
        t = withoutMatches(leadingDecorationPattern(), std::move(t));
        trimmed = false;
    }
    if (!t.empty() && mayBeDecoration(lastScalar(t))) {
        t = withoutMatches(trailingDecorationPattern(), std::move(t));
        trimmed = false;
    }
    return trimmed ? t : Unicode::trim(t);
}

bool qualifiesAsName(std::string_view text, const Found& found, const Unicode::CharacterTally& tally) {
    if (text.empty() || tally.letters < 2) return false;
    if (static_cast<double>(tally.numbers) / static_cast<double>(tally.characters) > 0.25) return false;
    if (found[kAddress].count() >= 2) return false;
    return found[kContact].none() && found[kRecipient].none();
}

// "REGISTRATION" can only appear in the upper-cased text where the text has an ASCII "r" or "R": no other
// character upper-cases to "R".
bool mentionsRegistrationInLatin(std::string_view raw) {
    if (raw.find('r') == std::string_view::npos && raw.find('R') == std::string_view::npos) return false;
    return Unicode::contains(Unicode::uppercased(raw), "REGISTRATION");
}

struct LineFacts {
    const Unicode::PreparedText& text;  // the normalised line
    Found found{};
    // The raw text names a registration number (for the lines above it).
    bool registration = false;
};

// Whether the scored pass looks at a line at all.
bool isScored(const Unicode::CharacterTally& t) {
    return t.characters >= 2 && t.characters <= 40 && t.letters >= 2 &&
           static_cast<double>(t.numbers) / static_cast<double>(t.characters) <= 0.3;
}

LineFacts factsOf(const TextLine& line, const Unicode::PreparedText& prepared) {
    LineFacts f{prepared};
    if (f.text.foldsToItself() && isScored(f.text.tally())) {
        combinedIndex().scan(f.text.text(), kFoldedLists | kCanonicalLists, f.found);
    } else {
        foldedIndex().scan(f.text.folded(), kFoldedLists, f.found);
        // A line that is neither scored nor labelled is only asked whether it names a registration number.
        const bool wanted = isScored(f.text.tally()) || f.found[kIssuer].any();
        canonicalIndex().scan(f.text.canonical(), wanted ? kCanonicalLists : bit(kRegistrationWord), f.found);
    }
    // Normalising leaves "登録番号" and the characters around it as they are, so the normalised line answers
    // for the raw text.
    f.registration = f.found[kRegistrationWord].any() || mentionsRegistrationInLatin(line.text);
    return f;
}

std::size_t firstFound(const std::bitset<128>& found) {
    for (std::size_t k = 0; k < found.size(); ++k)
        if (found[k]) return k;
    return found.size();
}

bool containsHint(std::string_view text, const std::string& hint) {
    return !hint.empty() && Unicode::containsPrepared(Unicode::nfc(text), hint);
}

// The name a labelled issuer line offers: what follows the label, or else one of the next three lines. A text
// ending in an honorific names the recipient, so it is passed over like a text that is no name.
std::optional<ExtractedVendor> labelledIssuer(std::span<const LineFacts> facts, std::size_t i,
                                              const std::string& hint) {
    const LineFacts& line = facts[i];
    const std::string& n = line.text.text();
    const std::size_t label = firstFound(line.found[kIssuer]);
    std::size_t from = 0;
    if (const auto at = line.text.foldedOccurrences(foldedIssuerLabels()[label]); !at.empty()) {
        // An English label inside a sentence is a word of it (「Removed debris from case」), no heading.
        const bool latin = static_cast<unsigned char>(kIssuerLabels[label].front()) < 0x80;
        if (latin && !Unicode::trim(n.substr(0, at.front().begin)).empty()) return std::nullopt;
        from = at.front().end;
    }
    std::string rest = n.substr(from);
    if (!rest.empty() && mayBeDecoration(firstScalar(rest)))
        rest = withoutMatches(issuerPrefixPattern(), std::move(rest));
    if (mayHoldCode(rest)) rest = withoutMatches(codePattern(), std::move(rest));
    rest = Unicode::trim(rest);

    auto acceptable = [](std::string_view text, std::string& name) {
        if (endsWithHonorific(text)) return false;
        name = clean(text);
        return !endsWithHonorific(name) && looksLikeName(name);
    };
    std::string name;
    std::size_t index = i;
    bool found = acceptable(rest, name);
    for (std::size_t j = i + 1; !found && j <= i + 3 && j < facts.size(); ++j) {
        found = acceptable(facts[j].text.text(), name);
        index = j;
    }
    if (!found || Unicode::characterCount(name) > 40 || containsHint(name, hint)) return std::nullopt;
    return ExtractedVendor{std::move(name), 75, static_cast<int>(index)};
}

int scoreOf(const LineFacts& line, std::size_t i, std::span<const LineFacts> facts, double top,
            const std::string& hint) {
    const double n = static_cast<double>(std::max<std::size_t>(facts.size(), 1));
    const double p = std::min(std::max(static_cast<double>(i) / n, std::isfinite(top) ? top : 0.0), 1.0);
    int score = static_cast<int>((1.0 - p) * 40.0);
    if (i < 3) score += 15;
    if (line.found[kCorporate].any()) score += 35;
    if ((i + 1 < facts.size() && facts[i + 1].registration) ||
        (i + 2 < facts.size() && facts[i + 2].registration))
        score += 45;
    const bool brand = line.found[kBrand].any();
    if (brand) score += 45;
    if (endsWithHonorific(line.text.text(), line.text.isNfc())) score -= 100;
    if (!hint.empty() && Unicode::containsPrepared(line.text.canonical(), hint)) score -= 100;
    if (line.found[kExcluded].any() && !brand) score -= 60;
    if (line.found[kAddress].count() >= 2) score -= 50;
    if (line.text.tally().characters > 25) score -= 10;
    if (line.text.text().find(':') != std::string::npos || line.text.text().find("：") != std::string::npos)
        score -= 15;
    return score;
}

}  // namespace

std::string clean(std::string_view text) {
    return cleaned(Unicode::trim(text), false);
}

bool looksLikeName(std::string_view text) {
    const Unicode::PreparedText prepared{std::string(text)};
    Found found{};
    canonicalIndex().scan(prepared.canonical(), kNameLists, found);
    return qualifiesAsName(text, found, prepared.tally());
}

bool isTitleLike(std::string_view text) {
    const Unicode::PreparedText prepared{std::string(text)};
    Found found{};
    foldedIndex().scan(prepared.folded(), bit(kBrand), found);
    if (found[kBrand].any()) return false;
    canonicalIndex().scan(prepared.canonical(), bit(kExcluded), found);
    return found[kExcluded].any();
}

bool isBranchOnly(std::string_view name) {
    const std::string text = TextNormalizer::normalize(name);
    {
        const Unicode::PreparedText prepared{text};
        Found found{};
        foldedIndex().scan(prepared.folded(), bit(kBrand), found);
        if (found[kBrand].any()) return false;
    }
    for (const auto form : kLegalForms)
        if (text.find(form) != std::string::npos) return false;
    std::vector<std::string> words;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (words.empty()) return false;
    // The last word is the branch: a place and 店 (本町店, 南口店, 品川通り店, 本店).
    std::string_view branch = words.back();
    constexpr std::string_view store = "店";
    if (!branch.ends_with(store) || branch == store) return false;
    const std::string_view place = branch.substr(0, branch.size() - store.size());
    for (const auto kind : kShopKinds)
        if (place.ends_with(kind)) return false;
    // A place is written in kanji and kana; Latin letters or katakana alone are a shop's own name.
    bool katakanaOnly = true;
    for (std::size_t i = 0; i < place.size();) {
        const char32_t c = Unicode::nextScalar(place, i);
        if (c < 0x80) return false;
        katakanaOnly = katakanaOnly && c >= 0x30A0 && c <= 0x30FF;
    }
    if (katakanaOnly) return false;
    // Everything before it is a kind of goods, not a name.
    return std::all_of(words.begin(), words.end() - 1, [](const std::string& word) {
        return std::find(kGoodsKinds.begin(), kGoodsKinds.end(), word) != kGoodsKinds.end();
    });
}

std::vector<ExtractedVendor> extract(std::span<const TextLine> lines,
                                     std::optional<std::string_view> recipientHint) {
    return extract(PreparedLines(lines), recipientHint);
}

std::vector<ExtractedVendor> extract(const PreparedLines& lines,
                                     std::optional<std::string_view> recipientHint) {
    std::vector<ExtractedVendor> out;
    if (lines.empty()) return out;
    // The hint is compared with normalised lines, so it is normalised the same way; one that normalises to
    // nothing (only spaces) is no hint.
    const std::string hint =
        recipientHint ? Unicode::nfc(TextNormalizer::normalize(*recipientHint)) : std::string();

    std::vector<LineFacts> facts;
    facts.reserve(lines.size());
    out.reserve(lines.size() + 4);
    for (std::size_t i = 0; i < lines.size(); ++i) facts.push_back(factsOf(lines.line(i), lines.prepared(i)));

    for (std::size_t i = 0; i < facts.size(); ++i) {
        if (facts[i].found[kIssuer].none() || facts[i].found[kRecipient].any()) continue;
        if (auto vendor = labelledIssuer(facts, i, hint)) out.push_back(std::move(*vendor));
    }

    // Names already taken at 75 or more; a later line with the same name adds nothing.
    std::unordered_set<std::string> strong;
    for (const ExtractedVendor& v : out) strong.insert(v.name);

    for (std::size_t i = 0; i < facts.size(); ++i) {
        const LineFacts& line = facts[i];
        if (!isScored(line.text.tally())) continue;
        const int score = scoreOf(line, i, facts, lines.line(i).top, hint);
        std::string name = cleaned(line.text.text(), line.text.isNfc());
        if (strong.contains(name)) continue;
        if (score >= 75) strong.insert(name);
        out.push_back({std::move(name), score, static_cast<int>(i)});
    }

    // Sorting positions rather than the records keeps the names from being moved around; the sort is stable,
    // so candidates equal in both keys keep the order they were found in.
    std::vector<std::uint32_t> order(out.size());
    for (std::uint32_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const ExtractedVendor& x = out[a];
        const ExtractedVendor& y = out[b];
        return x.score != y.score ? x.score > y.score : x.lineIndex < y.lineIndex;
    });
    std::vector<ExtractedVendor> sorted;
    sorted.reserve(out.size());
    for (const std::uint32_t k : order) sorted.push_back(std::move(out[k]));
    return sorted;
}

std::optional<ExtractedVendor> best(std::span<const TextLine> lines,
                                    std::optional<std::string_view> recipientHint) {
    auto all = extract(lines, recipientHint);
    if (all.empty()) return std::nullopt;
    return std::move(all.front());
}

}  // namespace VendorExtractor
}  // namespace tavori
