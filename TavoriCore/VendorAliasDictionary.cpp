#include "TavoriCore/VendorAliasDictionary.h"

#include <utility>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace tavori {
namespace {

constexpr std::array<std::string_view, 24> kCorporateAffixes = {
    "株式会社", "(株)",     "㈱",        "有限会社", "(有)",     "㈲",          "合同会社", "(同)",
    "合資会社", "合名会社", "Co., Ltd.", "Co.,Ltd.", "Co., Ltd", "Co.,Ltd",     "Co. Ltd.", "Inc.",
    "Inc",      "Ltd.",     "Ltd",       "LLC",      "Corp.",    "Corporation", "K.K.",     "G.K.",
};

struct PreparedRule {
    const VendorAliasDictionary::Rule* rule;
    std::string pattern;
};

const std::vector<PreparedRule>& preparedDefaultRules() {
    static const std::vector<PreparedRule> prepared = [] {
        std::vector<PreparedRule> out;
        for (const auto& rule : VendorAliasDictionary::defaultRules())
            out.push_back({&rule, Unicode::lowercasedNfc(rule.pattern)});
        return out;
    }();
    return prepared;
}

struct PreparedAffix {
    std::string folded;
    bool latinStart;
    bool latinEnd;
};

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiAlphanumeric(char c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

const std::vector<PreparedAffix>& preparedAffixes() {
    static const std::vector<PreparedAffix> prepared = [] {
        std::vector<PreparedAffix> out;
        for (std::string_view affix : kCorporateAffixes)
            out.push_back(
                {Unicode::lowercasedNfc(affix), isAsciiLetter(affix.front()), isAsciiLetter(affix.back())});
        return out;
    }();
    return prepared;
}

// Removes every occurrence of every corporate form, in order and ignoring case. A Latin form is removed only
// as a word of its own, so that "Lincoln" or "Zinc" keep their letters.
std::string withoutCorporateAffixes(std::string s) {
    Unicode::PreparedText prepared(s);
    for (const PreparedAffix& affix : preparedAffixes()) {
        const auto found = prepared.foldedOccurrences(affix.folded);
        if (found.empty()) continue;
        std::string kept;
        std::size_t copied = 0;
        for (const Unicode::ByteRange& r : found) {
            if (affix.latinStart && r.begin > 0 && isAsciiAlphanumeric(s[r.begin - 1])) continue;
            if (affix.latinEnd && r.end < s.size() && isAsciiAlphanumeric(s[r.end])) continue;
            kept.append(s, copied, r.begin - copied);
            copied = r.end;
        }
        if (copied == 0) continue;
        kept.append(s, copied);
        s = std::move(kept);
        prepared = Unicode::PreparedText(s);
    }
    return s;
}

// Only a text with white space other than single ASCII spaces has anything for "\s+" to change.
bool needsSpaceCollapse(std::string_view s) {
    bool previousSpace = false;
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = Unicode::nextScalar(s, i);
        const bool space = c == U' ';
        if ((space && previousSpace) ||
            (!space && (c < 0x20 || Unicode::isSpace(c) || Unicode::isNewline(c))))
            return true;
        previousSpace = space;
    }
    return false;
}

std::string collapsedSpaces(std::string s) {
    static const Pattern whiteSpace("\\s+");
    return needsSpaceCollapse(s) ? whiteSpace.replacingMatches(s, " ") : s;
}

std::string trimmedOf(std::string_view s, std::u32string_view set) {
    std::size_t begin = s.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        if (set.find(Unicode::nextScalar(s, i)) == std::u32string_view::npos) {
            begin = std::min(begin, start);
            end = i;
        }
    }
    return begin >= end ? std::string() : std::string(s.substr(begin, end - begin));
}

}  // namespace

const std::vector<VendorAliasDictionary::Rule>& VendorAliasDictionary::defaultRules() {
    static const std::vector<Rule> rules = [] {
        const std::pair<const char*, const char*> table[] = {
            {"セブン", "セブンイレブン"},
            {"7-Eleven", "セブンイレブン"},
            {"ファミリーマート", "ファミリーマート"},
            {"FamilyMart", "ファミリーマート"},
            {"ローソン", "ローソン"},
            {"LAWSON", "ローソン"},
            {"Amazon Web Services", "AWS"},
            {"Amazon", "Amazon"},
            {"アマゾン", "Amazon"},
            {"楽天", "楽天"},
            {"Rakuten", "楽天"},
            {"Apple", "Apple"},
            {"Google", "Google"},
            {"スターバックス", "スターバックス"},
            {"Starbucks", "スターバックス"},
            {"ヨドバシ", "ヨドバシカメラ"},
            {"ビックカメラ", "ビックカメラ"},
            {"ENEOS", "ENEOS"},
        };
        std::vector<Rule> out;
        for (const auto& [pattern, canonical] : table) out.push_back({Uuid::random(), pattern, canonical});
        return out;
    }();
    return rules;
}

const std::array<std::string_view, 24>& VendorAliasDictionary::corporateAffixes() {
    return kCorporateAffixes;
}

std::string VendorAliasDictionary::canonicalName(std::string_view name) const {
    const std::string normalized = TextNormalizer::normalize(name);
    const Unicode::PreparedText prepared(normalized);
    for (const Rule& rule : rules)
        if (!rule.pattern.empty() && prepared.containsFolded(Unicode::lowercasedNfc(rule.pattern)))
            return rule.canonical;
    for (const PreparedRule& rule : preparedDefaultRules())
        if (prepared.containsFolded(rule.pattern)) return rule.rule->canonical;

    std::string s = stripCorporateSuffix ? withoutCorporateAffixes(normalized) : normalized;
    s = trimmedOf(collapsedSpaces(std::move(s)), U" ,.、。・-");
    return s.empty() ? normalized : s;
}

bool VendorAliasDictionary::isBareCorporateAffix(std::string_view name) {
    return trimmedOf(withoutCorporateAffixes(TextNormalizer::normalize(name)), U" ,.、。・-()（）").empty();
}

std::ostream& operator<<(std::ostream& os, const VendorAliasDictionary::Rule& rule) {
    return os << "Rule{" << rule.id << " \"" << rule.pattern << "\" -> \"" << rule.canonical << "\"}";
}

std::ostream& operator<<(std::ostream& os, const VendorAliasDictionary& dictionary) {
    os << "VendorAliasDictionary{strip:" << (dictionary.stripCorporateSuffix ? "on" : "off");
    for (const auto& rule : dictionary.rules) os << ' ' << rule;
    return os << '}';
}

using Rule = VendorAliasDictionary::Rule;
TAVORI_JSON_OBJECT(Rule, JsonCoding::member("id", &Rule::id), JsonCoding::member("pattern", &Rule::pattern),
                   JsonCoding::member("canonical", &Rule::canonical));
TAVORI_JSON_OBJECT(VendorAliasDictionary, JsonCoding::member("rules", &VendorAliasDictionary::rules),
                   JsonCoding::member("stripCorporateSuffix", &VendorAliasDictionary::stripCorporateSuffix));

}  // namespace tavori
