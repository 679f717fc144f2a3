#include "TavoriCore/CharacterProperties.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

namespace tavori::Unicode {
namespace {

std::uint8_t traitsFromIcu(char32_t scalar) {
    const auto c = static_cast<UChar32>(scalar);
    std::uint8_t t = 0;
    if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) t |= Trait::decimalDigit;
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) t |= Trait::letter;
    if (u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE) t |= Trait::number;
    const auto gcb = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
    const bool own = gcb == U_GCB_OTHER || gcb == U_GCB_CONTROL || gcb == U_GCB_LF;
    if (own) t |= Trait::ownCharacter;
    const bool lowerChanges = u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_LOWERCASED);
    if (lowerChanges) t |= Trait::lowerChanges;
    const bool keptByNfc =
        u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) == UNORM_YES && u_getCombiningClass(c) == 0;
    if (keptByNfc && !lowerChanges) t |= Trait::lowercasedNfc;
    if (keptByNfc && own) t |= Trait::stableInNfc;
    if (scalar == U'\t' || u_charType(c) == U_SPACE_SEPARATOR) t |= Trait::space;
    return t;
}

// Threads that race to fill a block build the same values, and one of them publishes its copy.
const detail::TraitBlock& traitBlock(std::size_t block) {
    std::atomic<const detail::TraitBlock*>& slot = detail::traitBlocks[block];
    if (const detail::TraitBlock* known = slot.load(std::memory_order_acquire)) return *known;
    auto built = std::make_unique<detail::TraitBlock>();
    for (std::size_t k = 0; k < built->size(); ++k)
        (*built)[k] = traitsFromIcu(static_cast<char32_t>(block * 256 + k));
    const detail::TraitBlock* expected = nullptr;
    if (slot.compare_exchange_strong(expected, built.get(), std::memory_order_acq_rel))
        return *built.release();
    return *expected;
}

}  // namespace

// At namespace scope, so that a look-up needs no guard for a function's static.
std::array<std::atomic<const detail::TraitBlock*>, 256> detail::traitBlocks{};

std::uint8_t detail::traitsFilling(char32_t scalar) {
    return scalar <= 0xFFFF ? traitBlock(scalar >> 8)[scalar & 0xFF] : traitsFromIcu(scalar);
}

bool isLetter(char32_t scalar) {
    return (traits(scalar) & Trait::letter) != 0;
}

bool isNumber(char32_t scalar) {
    return (traits(scalar) & Trait::number) != 0;
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

bool isDecimalDigit(char32_t scalar) {
    if (scalar < 0x80) return scalar >= U'0' && scalar <= U'9';
    return (traits(scalar) & Trait::decimalDigit) != 0;
}

bool isSpace(char32_t scalar) {
    return (traits(scalar) & Trait::space) != 0;
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

bool extendsCharacter(char32_t scalar) {
    const auto gcb = u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return gcb == U_GCB_EXTEND || gcb == U_GCB_ZWJ || gcb == U_GCB_SPACING_MARK;
}

bool alwaysBreaksBetween(char32_t a, char32_t b) {
    if (a == U'\r' && b == U'\n') return false;
    auto plain = [](char32_t c) { return c < 0x80 || (traits(c) & Trait::ownCharacter) != 0; };
    return plain(a) && plain(b);
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

std::string withoutFormatOrControl(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t scalar = nextScalar(s, i);
        if (!isFormatOrControl(scalar))
            out.append(s.substr(start, i - start));
        else if (isWhiteSpace(scalar))
            out += ' ';
    }
    return out;
}

}  // namespace tavori::Unicode
