#include "TavoriCore/Unicode.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace tavori::Unicode {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// `nextScalar` with the one- and common three-byte forms (kana, kanji, full-width forms) decoded in line.
inline char32_t decode(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    if (b0 >= 0xE1 && b0 <= 0xEF && b0 != 0xED && s.size() - i >= 3) {
        const auto b1 = static_cast<unsigned char>(s[i + 1]);
        const auto b2 = static_cast<unsigned char>(s[i + 2]);
        if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80) {
            i += 3;
            return static_cast<char32_t>((b0 & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F));
        }
    }
    return nextScalar(s, i);
}
}  // namespace

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        const char32_t c = decode(s, i);
        if (c == kReplacement && !(i - start == 3 && s.compare(start, 3, "\xEF\xBF\xBD") == 0)) return false;
    }
    return true;
}

namespace {

// Lower-casing ASCII by bytes is exact unless the locale has its own rules for "I".
bool localeLowersAsciiPlainly() {
    static const bool plain = [] {
        const char* language = uloc_getDefault();
        return !(std::strncmp(language, "tr", 2) == 0 || std::strncmp(language, "az", 2) == 0 ||
                 std::strncmp(language, "lt", 2) == 0);
    }();
    return plain;
}

// Scripts in which every character is already in composed form: most receipt text, checked without ICU.
bool isPlainlyComposed(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = nextScalar(s, i);
        const bool plain = c < 0x300 || (c >= 0x3000 && c <= 0x3029) || (c >= 0x3030 && c <= 0x3098) ||
                           (c >= 0x309B && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
        if (!plain) return false;
    }
    return true;
}

bool isExtendingScalar(char32_t c) {
    const auto gcb = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return gcb == U_GCB_EXTEND || gcb == U_GCB_ZWJ || gcb == U_GCB_SPACING_MARK;
}

// Properties of a scalar that the one-pass text preparation needs, taken from ICU and kept for the BMP after
// the first use so that a line costs one table load per scalar.
enum Property : std::uint8_t {
    kLetter = 1,
    kNumber = 2,
    kStandsAlone = 4,   // no rule of extended grapheme clusters joins it to a neighbour
    kLowerChanges = 8,  // lower-casing changes it (in some locale)
    kStableInNfc = 16,  // NFC keeps it and nothing composes with it
    kSpace = 32,        // space separator or tab
};

std::uint8_t computeTraits(char32_t c) {
    const auto uc = static_cast<UChar32>(c);
    std::uint8_t t = 0;
    if (u_hasBinaryProperty(uc, UCHAR_ALPHABETIC)) t |= kLetter;
    if (u_getIntPropertyValue(uc, UCHAR_NUMERIC_TYPE) != U_NT_NONE) t |= kNumber;
    const auto gcb = u_getIntPropertyValue(uc, UCHAR_GRAPHEME_CLUSTER_BREAK);
    const bool alone = c != U'\r' && (gcb == U_GCB_OTHER || gcb == U_GCB_CONTROL || gcb == U_GCB_LF);
    if (alone) t |= kStandsAlone;
    if (u_hasBinaryProperty(uc, UCHAR_CHANGES_WHEN_LOWERCASED)) t |= kLowerChanges;
    if (alone && u_getIntPropertyValue(uc, UCHAR_NFC_QUICK_CHECK) == UNORM_YES &&
        u_getCombiningClass(uc) == 0)
        t |= kStableInNfc;
    if (c == U'\t' || u_charType(uc) == U_SPACE_SEPARATOR) t |= kSpace;
    return t;
}

using TraitTable = std::array<std::uint8_t, 0x10000>;

const TraitTable& bmpTraits() {
    static const std::unique_ptr<TraitTable> table = [] {
        auto t = std::make_unique<TraitTable>();
        for (char32_t k = 0; k < 0x10000; ++k) (*t)[k] = computeTraits(k);
        return t;
    }();
    return *table;
}

inline std::uint8_t traitsOf(char32_t c, const TraitTable& bmp) {
    return c < 0x10000 ? bmp[c] : computeTraits(c);
}
std::uint8_t traitsOf(char32_t c) {
    return traitsOf(c, bmpTraits());
}

bool standsAlone(char32_t c) {
    return traitsOf(c) & kStandsAlone;
}

bool isNfcText(std::string_view valid) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) && normalizer->isNormalizedUTF8(valid, status) && U_SUCCESS(status);
}

std::size_t lastScalarStart(std::string_view s) {
    std::size_t back = s.size() - 1;
    while (back > 0 && s.size() - back < 4 && (static_cast<unsigned char>(s[back]) & 0xC0) == 0x80) --back;
    return back;
}

// True when the grapheme-cluster rules break between `a` and `b` whatever surrounds them: both are of the
// classes Other, Control, CR or LF and they are not CR LF. Lets the common case skip the break iterator.
bool alwaysBreaksBetween(char32_t a, char32_t b);

// Start of the scalar that ends just before byte `end` of valid UTF-8.
std::size_t previousScalarStart(std::string_view s, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    return start;
}

}  // namespace

char32_t nextScalarSlow(std::string_view s, std::size_t& i) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data() + i);
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(s.size() - i, 4));
    std::int32_t j = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, j, length, c);
    i += static_cast<std::size_t>(j);
    return c < 0 ? kReplacement : static_cast<char32_t>(c);
}

void appendScalarSlow(std::string& out, char32_t scalar) {
    char buffer[4];
    std::int32_t length = 0;
    UBool error = false;
    U8_APPEND(buffer, length, 4, static_cast<UChar32>(scalar), error);
    if (error) {
        out += "\xEF\xBF\xBD";
        return;
    }
    out.append(buffer, static_cast<std::size_t>(length));
}

std::string toValidUtf8(std::string_view s) {
    if (isValidUtf8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size();) appendScalar(out, nextScalar(s, i));
    return out;
}

std::string fromUtf16(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

Text::Text(std::string_view utf8) : utf8_(toValidUtf8(utf8)) {
    offsets_.reserve(utf8_.size() + 1);
    if (isAscii(utf8_)) {
        utf16_ = icu::UnicodeString(utf8_.data(), static_cast<std::int32_t>(utf8_.size()), US_INV);
        for (std::size_t i = 0; i <= utf8_.size(); ++i) offsets_.push_back(i);
        return;
    }
    utf16_ = icu::UnicodeString::fromUTF8(utf8_);
    for (std::size_t i = 0; i < utf8_.size();) {
        const std::size_t start = i;
        const char32_t c = nextScalar(utf8_, i);
        offsets_.push_back(start);
        if (c > 0xFFFF) offsets_.push_back(start);
    }
    offsets_.push_back(utf8_.size());
}

std::string nfc(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    if (!isValidUtf8(s)) return nfc(toValidUtf8(s));
    const std::string_view valid = s;
    if (isPlainlyComposed(valid)) return std::string(valid);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(valid);
    if (normalizer->isNormalizedUTF8(valid, status) && U_SUCCESS(status)) return std::string(valid);
    status = U_ZERO_ERROR;
    std::string out;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    normalizer->normalizeUTF8(0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : std::string(valid);
}

std::string lowercased(std::string_view s) {
    if (localeLowersAsciiPlainly()) {
        // Most text (Japanese, digits, punctuation) has no cased letters beyond ASCII: lower those bytes
        // only.
        bool onlyAsciiCases = true;
        for (std::size_t i = 0; i < s.size() && onlyAsciiCases;) {
            const std::size_t start = i;
            const char32_t c = nextScalar(s, i);
            if (c >= 0x80 && !(c >= 0x3000 && c <= 0x9FFF) &&
                (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_CHANGES_WHEN_LOWERCASED) ||
                 (c == kReplacement && i - start != 3)))
                onlyAsciiCases = false;
        }
        if (onlyAsciiCases) {
            std::string out(s);
            for (char& c : out)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            return out;
        }
    }
    const std::string valid = toValidUtf8(s);
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8ToLower(uloc_getDefault(), 0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

std::string caseFolded(std::string_view s) {
    const std::string valid = toValidUtf8(s);
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8Fold(0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

bool containsPrepared(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos;
         at = haystack.find(needle, at + 1)) {
        const std::size_t end = at + needle.size();
        if (end == haystack.size() || static_cast<unsigned char>(haystack[end]) < 0x80) return true;
        std::size_t i = end;
        if (!isExtendingScalar(nextScalar(haystack, i))) return true;
    }
    return false;
}

KeywordText KeywordText::of(std::string_view s, bool ignoringCase) {
    return KeywordText(ignoringCase ? lowercasedNfc(s) : nfc(s));
}

bool contains(std::string_view haystack, std::string_view needle) {
    return containsPrepared(nfc(haystack), nfc(needle));
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    return containsPrepared(nfc(lowercased(haystack)), nfc(lowercased(needle)));
}

std::size_t characterCount(std::string_view s) {
    if (isAscii(s) && s.find('\r') == std::string_view::npos) return s.size();
    return characters(s).size();
}

std::vector<std::string> characters(std::string_view s) {
    std::vector<std::string> out;
    const std::string valid = toValidUtf8(s);
    if (valid.empty()) return out;
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    if (!iterator) {
        for (std::size_t i = 0; i < valid.size();) {
            const std::size_t start = i;
            nextScalar(valid, i);
            out.emplace_back(valid.substr(start, i - start));
        }
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, valid.data(), static_cast<std::int64_t>(valid.size()), &status);
    iterator->setText(text, status);
    std::int32_t start = iterator->first();
    for (std::int32_t end = iterator->next(); end != icu::BreakIterator::DONE;
         start = end, end = iterator->next())
        out.emplace_back(
            valid.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
    // The iterator keeps its own clone of the UText; reset it so nothing points into `valid` afterwards.
    utext_close(text);
    iterator->setText(icu::UnicodeString());
    return out;
}

std::string prefixCharacters(std::string_view s, std::size_t count) {
    std::string out;
    const auto all = characters(s);
    for (std::size_t i = 0; i < std::min(count, all.size()); ++i) out += all[i];
    return out;
}

bool isLetter(char32_t scalar) {
    return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_ALPHABETIC);
}
std::string prefixWithinBytes(std::string_view s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) return std::string(s);
    // Character boundaries come from the repaired text; `rawOffset` maps its scalar boundaries back to s.
    std::string valid;
    std::vector<std::size_t> rawOffset;
    valid.reserve(s.size());
    rawOffset.reserve(s.size() + 1);
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        appendScalar(valid, nextScalar(s, i));
        rawOffset.resize(valid.size(), start);
    }
    rawOffset.push_back(s.size());
    std::size_t validEnd = 0;
    std::size_t cut = 0;
    for (const auto& character : characters(valid)) {
        validEnd += character.size();
        if (rawOffset[validEnd] > maxBytes) break;
        cut = rawOffset[validEnd];
    }
    return std::string(s.substr(0, cut));
}

bool isNumber(char32_t scalar) {
    return u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isLetter(std::string_view character) {
    if (character.empty()) return false;
    std::size_t i = 0;
    return isLetter(nextScalar(character, i));
}

bool isNumber(std::string_view character) {
    if (character.empty()) return false;
    std::size_t i = 0;
    return isNumber(nextScalar(character, i));
}

bool isSpace(char32_t scalar) {
    return scalar == U'\t' || u_charType(static_cast<UChar32>(scalar)) == U_SPACE_SEPARATOR;
}

bool isNewline(char32_t scalar) {
    return (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029;
}

bool isWhiteSpace(char32_t scalar) {
    return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_WHITE_SPACE);
}

bool isFormatOrControl(char32_t scalar) {
    const auto type = u_charType(static_cast<UChar32>(scalar));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

std::string trim(std::string_view s) {
    const std::string valid = toValidUtf8(s);
    std::size_t begin = 0;
    while (begin < valid.size()) {
        std::size_t i = begin;
        if (!isSpace(decode(valid, i))) break;
        begin = i;
    }
    std::size_t end = valid.size();
    while (end > begin) {
        const std::size_t start = lastScalarStart(std::string_view(valid).substr(0, end));
        std::size_t i = start;
        if (!isSpace(decode(valid, i))) break;
        end = start;
    }
    return valid.substr(begin, end - begin);
}

std::string uppercased(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    const std::string valid = toValidUtf8(s);
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8ToUpper("", 0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

std::size_t suffixLength(std::string_view s, std::string_view suffix) {
    if (suffix.empty() || s.empty()) return 0;
    if (s.ends_with(suffix)) {
        const std::size_t at = s.size() - suffix.size();
        if (at == 0) return suffix.size();
        std::size_t i = lastScalarStart(s.substr(0, at));
        const char32_t before = nextScalar(s, i);
        std::size_t j = 0;
        const char32_t first = nextScalar(suffix, j);
        if (i == at && standsAlone(before) && standsAlone(first)) return suffix.size();
        return characterCount(s.substr(0, at)) + characterCount(suffix) == characterCount(s) ? suffix.size()
                                                                                             : 0;
    }
    // Without a byte match only a text that NFC would change can still end with `suffix`; a last character
    // that NFC keeps and nothing joins must then be the suffix's own last character.
    std::size_t i = lastScalarStart(s);
    const char32_t last = nextScalar(s, i);
    std::size_t k = lastScalarStart(suffix);
    const char32_t suffixLast = nextScalar(suffix, k);
    if (i == s.size() && (traitsOf(last) & kStableInNfc) && last != suffixLast) return 0;
    const std::string valid = toValidUtf8(s);
    if (isNfcText(valid)) return 0;
    const auto all = characters(valid);
    const std::size_t count = characterCount(suffix);
    if (all.size() < count) return 0;
    std::string tail;
    for (std::size_t c = all.size() - count; c < all.size(); ++c) tail += all[c];
    return nfc(tail) == suffix ? tail.size() : 0;
}

PreparedText::PreparedText(std::string text) : text_(std::move(text)) {
    const TraitTable& bmp = bmpTraits();
    bool alone = true;
    bool stable = true;
    bool lowerAsIs = true;  // lower-casing leaves every scalar except ASCII capitals as it is
    bool asciiCapitals = false;
    for (std::size_t i = 0; i < text_.size();) {
        const std::size_t start = i;
        const char32_t c = decode(text_, i);
        if (c == kReplacement && !(i - start == 3 && text_.compare(start, 3, "\xEF\xBF\xBD") == 0)) {
            // Invalid bytes: read the replaced text from the start again.
            text_ = toValidUtf8(text_);
            i = 0;
            alone = stable = lowerAsIs = true;
            asciiCapitals = false;
            tally_ = {};
            continue;
        }
        const std::uint8_t traits = traitsOf(c, bmp);
        alone = alone && (traits & kStandsAlone);
        stable = stable && (traits & kStableInNfc);
        if (c >= 'A' && c <= 'Z') {
            asciiCapitals = true;
        } else if (traits & kLowerChanges) {
            lowerAsIs = false;
        }
        if (traits & kLetter) ++tally_.letters;
        if (traits & kNumber) ++tally_.numbers;
        ++tally_.characters;
    }
    if (!stable && !isNfcText(text_)) {
        canonical_ = nfc(text_);
        canonicalIsText_ = false;
    }
    if (alone && canonicalIsText_ && lowerAsIs && (!asciiCapitals || localeLowersAsciiPlainly())) {
        if (asciiCapitals) {
            folded_ = text_;
            for (char& c : folded_)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            foldedIsText_ = false;
        }
        return;
    }
    foldedIsText_ = false;
    tally_ = {};
    std::size_t offset = 0;
    boundaries_.emplace_back(0, 0);
    for (const std::string& character : characters(text_)) {
        folded_ += nfc(lowercased(character));
        offset += character.size();
        boundaries_.emplace_back(folded_.size(), offset);
        ++tally_.characters;
        if (isLetter(character)) ++tally_.letters;
        if (isNumber(character)) ++tally_.numbers;
    }
}

bool PreparedText::textOffset(std::size_t foldedOffset, std::size_t& offset) const {
    if (boundaries_.empty()) {
        offset = foldedOffset;
        return true;
    }
    const auto it = std::lower_bound(boundaries_.begin(), boundaries_.end(), foldedOffset,
                                     [](const auto& b, std::size_t o) { return b.first < o; });
    if (it == boundaries_.end() || it->first != foldedOffset) return false;
    offset = it->second;
    return true;
}

bool PreparedText::next(std::string_view needle, std::size_t& from, ByteRange& range) const {
    if (needle.empty()) return false;
    const std::string& f = folded();
    for (std::size_t at = f.find(needle, from); at != std::string::npos; at = f.find(needle, at + 1)) {
        if (textOffset(at, range.begin) && textOffset(at + needle.size(), range.end)) {
            from = at + needle.size();
            return true;
        }
    }
    return false;
}

bool PreparedText::containsFolded(std::string_view needle) const {
    std::size_t from = 0;
    ByteRange range;
    return next(needle, from, range);
}

std::vector<ByteRange> PreparedText::foldedOccurrences(std::string_view needle) const {
    std::vector<ByteRange> out;
    std::size_t from = 0;
    for (ByteRange range; next(needle, from, range);) out.push_back(range);
    return out;
}

std::size_t findPrepared(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return 0;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos;
         at = haystack.find(needle, at + 1)) {
        const std::size_t end = at + needle.size();
        if (end == haystack.size() || static_cast<unsigned char>(haystack[end]) < 0x80) return at;
        std::size_t i = end;
        if (!isExtendingScalar(nextScalar(haystack, i))) return at;
    }
    return std::string_view::npos;
}

std::string suffixCharacters(std::string_view s, std::size_t count) {
    if (count == 0) return {};
    if (isValidUtf8(s)) {
        std::size_t begin = s.size();
        std::size_t taken = 0;
        char32_t following = 0;
        bool plain = true;
        // The last `count` scalars, and the one before them, must all be separated by certain breaks.
        while (begin > 0 && plain && taken <= count) {
            const std::size_t start = previousScalarStart(s, begin);
            std::size_t i = start;
            const char32_t c = nextScalar(s, i);
            if (taken > 0) plain = alwaysBreaksBetween(c, following);
            if (taken == count) break;
            following = c;
            begin = start;
            ++taken;
        }
        if (plain) return std::string(s.substr(begin));
    }
    const auto all = characters(s);
    std::string out;
    for (std::size_t k = all.size() - std::min(count, all.size()); k < all.size(); ++k) out += all[k];
    return out;
}

std::vector<char32_t> firstScalars(std::string_view s) {
    std::vector<char32_t> out;
    if (isValidUtf8(s)) {
        out.reserve(s.size());
        bool plain = true;
        for (std::size_t i = 0; i < s.size() && plain;) {
            const char32_t c = nextScalar(s, i);
            if (!out.empty()) plain = alwaysBreaksBetween(out.back(), c);
            out.push_back(c);
        }
        if (plain) return out;
        out.clear();
    }
    for (const std::string& character : characters(s)) {
        std::size_t i = 0;
        out.push_back(nextScalar(character, i));
    }
    return out;
}

namespace {

// Whether lower-casing and NFC leave `s` as it is, ignoring its ASCII capitals, and whether it has any.
struct Settled {
    bool exceptCapitals = false;
    bool capitals = false;
};

Settled settledForm(std::string_view s) {
    Settled result{true, false};
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {
            result.capitals = result.capitals || (byte >= 'A' && byte <= 'Z');
            ++i;
            continue;
        }
        if (!(traits(nextScalar(s, i)) & Trait::lowercasedNfc)) return {false, result.capitals};
    }
    return result;
}

}  // namespace

bool isLowercasedNfc(std::string_view s) {
    if (!localeLowersAsciiPlainly() || !isValidUtf8(s)) return false;
    const Settled settled = settledForm(s);
    if (settled.exceptCapitals) return !settled.capitals;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    return lowercased(s) == s && U_SUCCESS(status) && normalizer->isNormalizedUTF8(s, status) &&
           U_SUCCESS(status);
}

std::string lowercasedNfc(std::string_view s) {
    if (localeLowersAsciiPlainly() && isValidUtf8(s) && settledForm(s).exceptCapitals) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return nfc(lowercased(s));
}

namespace {

std::uint8_t traitsFromIcu(char32_t scalar) {
    const auto c = static_cast<UChar32>(scalar);
    std::uint8_t t = 0;
    if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) t |= Trait::decimalDigit;
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) t |= Trait::letter;
    if (u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE) t |= Trait::number;
    const auto gcb = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
    if (gcb == U_GCB_OTHER || gcb == U_GCB_CONTROL || gcb == U_GCB_LF) t |= Trait::ownCharacter;
    if (u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) == UNORM_YES && u_getCombiningClass(c) == 0 &&
        !u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_LOWERCASED))
        t |= Trait::lowercasedNfc;
    return t;
}

// The BMP's traits in blocks of 256 scalars, each asked of ICU when first needed and then kept for the
// life of the process; a text touches only a few blocks. Threads that race to fill a block build the same
// values, and one of them publishes its copy.
using TraitBlock = std::array<std::uint8_t, 256>;

const TraitBlock& traitBlock(std::size_t block) {
    static std::array<std::atomic<const TraitBlock*>, 256> blocks{};
    if (const TraitBlock* known = blocks[block].load(std::memory_order_acquire)) return *known;
    auto built = std::make_unique<TraitBlock>();
    for (std::size_t k = 0; k < built->size(); ++k)
        (*built)[k] = traitsFromIcu(static_cast<char32_t>(block * 256 + k));
    const TraitBlock* expected = nullptr;
    if (blocks[block].compare_exchange_strong(expected, built.get(), std::memory_order_acq_rel))
        return *built.release();
    return *expected;
}

}  // namespace

std::uint8_t traits(char32_t scalar) {
    return scalar <= 0xFFFF ? traitBlock(scalar >> 8)[scalar & 0xFF] : traitsFromIcu(scalar);
}

bool isDecimalDigit(char32_t scalar) {
    if (scalar < 0x80) return scalar >= U'0' && scalar <= U'9';
    return (traits(scalar) & Trait::decimalDigit) != 0;
}

namespace {

bool alwaysBreaksBetween(char32_t a, char32_t b) {
    if (a == U'\r' && b == U'\n') return false;
    auto plain = [](char32_t c) { return c < 0x80 || (traits(c) & Trait::ownCharacter) != 0; };
    return plain(a) && plain(b);
}

}  // namespace

}  // namespace tavori::Unicode
