#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "TavoriCore/CharacterProperties.h"

// The canonical, cased and trimmed forms of a text. Invalid UTF-8 reads as U+FFFD.
namespace tavori::Unicode {

// Canonical composition (NFC).
std::string nfc(std::string_view s);
// Lower-cased in the user's locale.
std::string lowercased(std::string_view s);
// Locale-independent (root) upper-casing, so that a test against an upper-case ASCII word does not depend on
// the user's language (Turkish upper-cases "i" to "İ").
std::string uppercased(std::string_view s);
std::string caseFolded(std::string_view s);

// The searched form: `nfc(lowercased(s))`, without the case map and the normaliser's copy where they would
// change nothing. Keywords are prepared in it once; `isLowercasedNfc` tells whether `s` is in it already.
std::string lowercasedNfc(std::string_view s);
bool isLowercasedNfc(std::string_view s);
// Whether the default locale lower-cases ASCII letters byte by byte (Turkish, Azeri and Lithuanian do not).
bool lowersAsciiPlainly();
// Whether valid UTF-8 `s` is in NFC.
bool isNfcText(std::string_view valid);

// Without leading and trailing space separators and tabs.
std::string trim(std::string_view s);

// Byte length of the end of `s` that is, character for character and under canonical equivalence, the NFC
// text `suffix`; 0 when `s` does not end with it (or `suffix` is empty). `s` is expected to be valid UTF-8.
std::size_t suffixLength(std::string_view s, std::string_view suffix);

}  // namespace tavori::Unicode
