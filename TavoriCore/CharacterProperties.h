#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/Utf8.h"

// What a scalar is (one property table for all of them) and where user-perceived characters (grapheme
// clusters) begin and end.
namespace tavori::Unicode {

// The properties of one scalar that scanning a line asks most, looked up in one table that is filled from
// ICU's property data a block of the BMP at a time (beyond it, ICU is asked directly).
namespace Trait {
enum : std::uint8_t {
    decimalDigit = 1,    // general category Nd
    letter = 2,          // Alphabetic
    number = 4,          // has a numeric type
    ownCharacter = 8,    // grapheme break class Other, Control or LF: a character whatever surrounds it
    lowercasedNfc = 16,  // unchanged by lower-casing and kept by NFC whatever surrounds it
    lowerChanges = 32,   // lower-casing changes it (in some locale)
    stableInNfc = 64,    // a character of its own that NFC keeps and that nothing composes with
    space = 128,         // space separator (Zs) or tab
};
}

namespace detail {
// The BMP's traits in blocks of 256 scalars, each asked of ICU when first needed and then kept for the life
// of the process. Declared here so that a look-up in a block already filled is made in line: every scalar of
// every line is looked up.
using TraitBlock = std::array<std::uint8_t, 256>;
extern std::array<std::atomic<const TraitBlock*>, 256> traitBlocks;
// Fills the scalar's block first, or asks ICU beyond the BMP.
std::uint8_t traitsFilling(char32_t scalar);
}  // namespace detail

inline std::uint8_t traits(char32_t scalar) {
    if (scalar <= 0xFFFF)
        if (const detail::TraitBlock* block =
                detail::traitBlocks[scalar >> 8].load(std::memory_order_acquire))
            return (*block)[scalar & 0xFF];
    return detail::traitsFilling(scalar);
}

// Tests of a character by its first scalar.
bool isLetter(std::string_view character);
bool isNumber(std::string_view character);
bool isLetter(char32_t scalar);
bool isNumber(char32_t scalar);
// General category Nd: the digits that "\d" matches in a pattern.
bool isDecimalDigit(char32_t scalar);
// Space separators (Zs) and tab: the white space that `trim` removes.
bool isSpace(char32_t scalar);
bool isNewline(char32_t scalar);
// Unicode White_Space: what the regular expression "\s" matches (it includes U+3000 and line separators).
bool isWhiteSpace(char32_t scalar);
// General categories Cc and Cf: controls and invisible format characters, among them the bidirectional
// embeddings, overrides and isolates that can make a text display in another order than it is stored.
bool isFormatOrControl(char32_t scalar);
// `s` without those characters; a control that is white space (tab, line break) becomes a space. For names
// shown on a terminal or written to the index book, where such a character could reorder or hide text.
std::string withoutFormatOrControl(std::string_view s);
// Grapheme break class Extend, ZWJ or SpacingMark: the scalar belongs to the character before it.
bool extendsCharacter(char32_t scalar);
// True when the grapheme-cluster rules break between `a` and `b` whatever surrounds them: both are of the
// classes Other, Control, CR or LF and they are not CR LF. Lets the common case skip the break iterator.
bool alwaysBreaksBetween(char32_t a, char32_t b);

// User-perceived characters (grapheme clusters).
std::size_t characterCount(std::string_view s);
std::vector<std::string> characters(std::string_view s);
// The first `count` user-perceived characters.
std::string prefixCharacters(std::string_view s, std::size_t count);
// The last `count` user-perceived characters.
std::string suffixCharacters(std::string_view s, std::size_t count);
// The longest prefix of whole user-perceived characters within `maxBytes` bytes. Bytes that are not valid
// UTF-8 are kept as they are (file names are bytes); each invalid sequence counts as one character.
std::string prefixWithinBytes(std::string_view s, std::size_t maxBytes);
// The first scalar of every user-perceived character, in order: what the letter and number tests look at.
std::vector<char32_t> firstScalars(std::string_view s);

// Characters, letters and numbers of a text: the counts `characterCount`, `isLetter` and `isNumber` give.
struct CharacterTally {
    std::size_t characters = 0;
    std::size_t letters = 0;
    std::size_t numbers = 0;
};

}  // namespace tavori::Unicode
