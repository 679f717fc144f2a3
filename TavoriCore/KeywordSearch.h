#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TavoriCore/CharacterProperties.h"
#include "TavoriCore/TextForms.h"

// Searching text for keywords. Keywords are prepared once in the searched form (`lowercasedNfc`, or `nfc`
// for a case-sensitive list); a line is prepared once as a `PreparedText` and searched with a
// `KeywordIndex`, which finds every keyword of a table in one walk over the line.
namespace tavori::Unicode {

// Substring search under canonical equivalence (both sides compared in NFC, at character boundaries).
bool contains(std::string_view haystack, std::string_view needle);
// Substring search ignoring case (both sides in `lowercasedNfc`), then as `contains`.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// `haystack` and `needle` already prepared the same way: a byte search that only accepts matches at
// character boundaries.
bool containsPrepared(std::string_view haystack, std::string_view needle);
// First occurrence of `needle` in `haystack` at character boundaries, both already prepared: the byte
// offset, or std::string_view::npos. `containsPrepared` is this test without the offset.
std::size_t findPrepared(std::string_view haystack, std::string_view needle);

struct ByteRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool operator==(const ByteRange&) const = default;
};

// A line prepared once for many keyword tests: its NFC form for case-sensitive keywords, its lower-cased
// (user's locale) NFC form for the others, folded character by character so that a match can be mapped back
// into the text, and its tally. Ranges are byte offsets into `text()` and always cover whole characters.
class PreparedText {
  public:
    // Invalid bytes read as U+FFFD.
    explicit PreparedText(std::string text);

    const std::string& text() const { return text_; }
    const std::string& canonical() const { return canonicalIsText_ ? text_ : canonical_; }
    const std::string& folded() const { return foldedIsText_ ? text_ : folded_; }
    const CharacterTally& tally() const { return tally_; }
    bool isNfc() const { return canonicalIsText_; }
    // The text is its own NFC and lower-cased form, so one search serves both kinds of keyword.
    bool foldsToItself() const { return canonicalIsText_ && foldedIsText_; }

    // Needles prepared with `lowercasedNfc`; an empty needle is never found.
    bool containsFolded(std::string_view needle) const;
    std::vector<ByteRange> foldedOccurrences(std::string_view needle) const;

  private:
    bool next(std::string_view needle, std::size_t& from, ByteRange& range) const;
    bool textOffset(std::size_t foldedOffset, std::size_t& offset) const;

    std::string text_;
    std::string canonical_;
    std::string folded_;
    bool canonicalIsText_ = true;
    bool foldedIsText_ = true;
    CharacterTally tally_;
    // Character boundaries as (folded offset, text offset); empty when both line up byte for byte.
    std::vector<std::pair<std::size_t, std::size_t>> boundaries_;
};

// The keywords of one or more tables, keyed by the bytes of their first scalar, so that a line is walked
// once instead of being searched once per keyword. Keywords are numbered in the order they are added; the
// caller keeps what each number means.
class KeywordIndex {
  public:
    static constexpr std::size_t kMaxKeywords = 512;

    // Adds a keyword already prepared like the texts it will be searched in, and returns its number. A
    // whole-word keyword is found only by `searchWords`, as a piece of the text between U+0020 spaces.
    std::size_t add(std::string keyword, bool wholeWord = false);
    std::size_t size() const { return keywords_.size(); }
    const std::string& keyword(std::size_t k) const { return keywords_[k]; }

    // Calls `found(k, at)` once for every keyword `k` (not whole-word) that `wanted(k)` accepts and that
    // `text` (valid UTF-8, prepared like the keywords) contains ending at a character boundary; `at` is the
    // byte offset of its first such occurrence.
    template <class Wanted, class Found>
    void search(std::string_view text, Wanted&& wanted, Found&& found) const {
        // A keyword tried at its first occurrence is settled for the whole text, which keeps a walk linear.
        std::bitset<kMaxKeywords> settled;
        for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
            const Slot& slot = slotFor(contained_, firstScalarKey(text, i, length));
            if (!slot.used) continue;
            const std::string_view rest = text.substr(i);
            for (const std::uint16_t k : slot.keywords) {
                if (settled[k] || !rest.starts_with(keywords_[k]) || !wanted(std::size_t{k})) continue;
                settled.set(k);
                const std::size_t at = findPrepared(rest, keywords_[k]);
                if (at != std::string_view::npos) found(std::size_t{k}, i + at);
            }
        }
    }
    template <class Found>
    void search(std::string_view text, Found&& found) const {
        search(
            text, [](std::size_t) { return true; }, found);
    }

    // Calls `found(k, at)` for every piece of `text` between U+0020 spaces that is a whole-word keyword `k`,
    // `at` being the piece's byte offset.
    template <class Found>
    void searchWords(std::string_view text, Found&& found) const {
        for (std::size_t begin = 0; begin < text.size();) {
            std::size_t end = text.find(' ', begin);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view word = text.substr(begin, end - begin);
            if (!word.empty()) {
                std::size_t length = 0;
                for (const std::uint16_t k : slotFor(words_, firstScalarKey(word, 0, length)).keywords)
                    if (word == keywords_[k]) found(std::size_t{k}, begin);
            }
            begin = end + 1;
        }
    }

  private:
    struct Slot {
        std::uint32_t key = 0;
        bool used = false;
        std::vector<std::uint16_t> keywords;
    };
    // Open addressing; the largest index has about two hundred distinct first scalars.
    static constexpr std::size_t kSlots = 1024;
    using Slots = std::array<Slot, kSlots>;

    // The bytes of the scalar starting at `at` (its length read from the lead byte), packed into one number.
    static std::uint32_t firstScalarKey(std::string_view s, std::size_t at, std::size_t& length) {
        const auto lead = static_cast<unsigned char>(s[at]);
        if (lead < 0xC0) {
            length = 1;
            return lead;
        }
        const auto byte = [&](std::size_t k) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + k]));
        };
        length = std::min<std::size_t>(lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4, s.size() - at);
        if (length == 3) return lead << 16 | byte(1) << 8 | byte(2);
        std::uint32_t key = lead;
        for (std::size_t k = 1; k < length; ++k) key = key << 8 | byte(k);
        return key;
    }

    // The return type is spelled out: the searches above use it before this point in the class. The table
    // is not called "slots", which Qt defines as a macro wherever this header is seen by Qt code.
    template <class Table>
    static auto slotFor(Table& table, std::uint32_t key) -> decltype(table[0]) {
        std::size_t at = (key * 2654435761u) >> 22;
        while (table[at].used && table[at].key != key) at = (at + 1) & (kSlots - 1);
        return table[at];
    }

    std::vector<std::string> keywords_;
    Slots contained_{};
    Slots words_{};
};

}  // namespace tavori::Unicode
