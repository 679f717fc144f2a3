#include "TavoriCore/KeywordSearch.h"

#include <algorithm>
#include <stdexcept>

namespace tavori::Unicode {

std::size_t findPrepared(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return 0;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos;
         at = haystack.find(needle, at + 1)) {
        const std::size_t end = at + needle.size();
        if (end == haystack.size() || static_cast<unsigned char>(haystack[end]) < 0x80) return at;
        std::size_t i = end;
        if (!extendsCharacter(nextScalar(haystack, i))) return at;
    }
    return std::string_view::npos;
}

bool containsPrepared(std::string_view haystack, std::string_view needle) {
    return findPrepared(haystack, needle) != std::string_view::npos;
}

bool contains(std::string_view haystack, std::string_view needle) {
    return containsPrepared(nfc(haystack), nfc(needle));
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    return containsPrepared(lowercasedNfc(haystack), lowercasedNfc(needle));
}

namespace {

// `traits` of an ASCII scalar, without the table: every one is kept by NFC, and a character of its own except
// CR (which a following LF joins); only the capitals change when lower-cased.
std::uint8_t asciiTraits(char32_t c) {
    const bool capital = c >= U'A' && c <= U'Z';
    std::uint8_t t = capital ? Trait::lowerChanges : Trait::lowercasedNfc;
    if (c != U'\r') t |= Trait::ownCharacter | Trait::stableInNfc;
    if (capital || (c >= U'a' && c <= U'z')) t |= Trait::letter;
    if (c >= U'0' && c <= U'9') t |= Trait::number | Trait::decimalDigit;
    if (c == U' ' || c == U'\t') t |= Trait::space;
    return t;
}

}  // namespace

PreparedText::PreparedText(std::string text) : text_(std::move(text)) {
    bool alone = true;
    bool stable = true;
    bool lowerAsIs = true;  // lower-casing leaves every scalar except ASCII capitals as it is
    bool asciiCapitals = false;
    for (std::size_t i = 0; i < text_.size();) {
        const std::size_t start = i;
        const char32_t c = nextScalar(text_, i);
        if (c == kReplacementCharacter && !(i - start == 3 && text_.compare(start, 3, "\xEF\xBF\xBD") == 0)) {
            // Invalid bytes: read the replaced text from the start again.
            text_ = toValidUtf8(text_);
            i = 0;
            alone = stable = lowerAsIs = true;
            asciiCapitals = false;
            tally_ = {};
            continue;
        }
        const std::uint8_t t = c < 0x80 ? asciiTraits(c) : traits(c);
        alone = alone && (t & Trait::ownCharacter);
        stable = stable && (t & Trait::stableInNfc);
        if (c >= 'A' && c <= 'Z') {
            asciiCapitals = true;
        } else if (t & Trait::lowerChanges) {
            lowerAsIs = false;
        }
        if (t & Trait::letter) ++tally_.letters;
        if (t & Trait::number) ++tally_.numbers;
        ++tally_.characters;
    }
    if (!stable && !isNfcText(text_)) {
        canonical_ = nfc(text_);
        canonicalIsText_ = false;
    }
    if (alone && canonicalIsText_ && lowerAsIs && (!asciiCapitals || lowersAsciiPlainly())) {
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
        folded_ += lowercasedNfc(character);
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

std::size_t KeywordIndex::add(std::string keyword, bool wholeWord) {
    if (keyword.empty()) throw std::invalid_argument("KeywordIndex: an empty keyword");
    if (keywords_.size() >= kMaxKeywords) throw std::length_error("KeywordIndex: too many keywords");
    std::size_t length = 0;
    const std::uint32_t key = firstScalarKey(keyword, 0, length);
    Slot& slot = slotFor(wholeWord ? words_ : contained_, key);
    if (!slot.used) {
        slot.key = key;
        slot.used = true;
    }
    slot.keywords.push_back(static_cast<std::uint16_t>(keywords_.size()));
    keywords_.push_back(std::move(keyword));
    return keywords_.size() - 1;
}

}  // namespace tavori::Unicode
