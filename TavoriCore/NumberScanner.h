#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "TavoriCore/Unicode.h"

// Used by the amount extractor only; kept apart so that each file is about one thing.
namespace tavori::AmountExtractor {

// The matches of `numberToken` found by a direct scan, which costs a small fraction of the regular-expression
// engine's search on every line. It follows the pattern's own order of trying alternatives, so it finds the
// same matches; the tests and the fuzzer compare the two.
class NumberScanner {
  public:
    enum class Kind : char { other = 0, digit = 1, point = '.', comma = ',', hyphen = '-' };
    struct Buffers {
        std::vector<Kind> kinds;
        std::vector<std::size_t> offsets;
    };

    NumberScanner(std::string_view text, bool otherDigits, Buffers& buffers)
        : text_(text), bytes_(!otherDigits), kinds_(buffers.kinds), offsets_(buffers.offsets) {
        // Where every digit is ASCII, every other scalar only needs to be "not one of ours", so each of its
        // bytes can stand for it and the text is scanned byte by byte, as it is.
        if (bytes_) {
            size_ = text.size();
            return;
        }
        kinds_.clear();
        offsets_.clear();
        for (std::size_t i = 0; i < text.size();) {
            offsets_.push_back(i);
            const char32_t c = Unicode::nextScalar(text, i);
            kinds_.push_back(Unicode::isDecimalDigit(c) ? Kind::digit
                             : c < 0x80                 ? byteKind(static_cast<char>(c))
                                                        : Kind::other);
        }
        offsets_.push_back(text.size());
        size_ = kinds_.size();
    }

    struct Found {
        std::size_t begin = 0;  // scalar indices
        std::size_t integerEnd = 0;
        std::size_t end = 0;
    };

    template <class F>
    void forEach(F&& f) const {
        for (std::size_t i = 0; i < size_;) {
            if (const auto found = at(i)) {
                f(*found);
                i = found->end;
            } else {
                ++i;
            }
        }
    }

    std::size_t byteOffset(std::size_t index) const { return bytes_ ? index : offsets_[index]; }

  private:
    static Kind byteKind(char c) {
        if (c >= '0' && c <= '9') return Kind::digit;
        return c == '.' || c == ',' || c == '-' ? static_cast<Kind>(c) : Kind::other;
    }
    Kind kind(std::size_t i) const {
        if (i >= size_) return Kind::other;
        return bytes_ ? byteKind(text_[i]) : kinds_[i];
    }
    bool digit(std::size_t i) const { return kind(i) == Kind::digit; }
    bool is(std::size_t i, char32_t c) const { return kind(i) == static_cast<Kind>(c); }
    std::size_t digitRun(std::size_t i) const {
        std::size_t j = i;
        while (digit(j)) ++j;
        return j - i;
    }

    // The end of the chain of ",ddd" groups from `i`. Every group start of a chain ends where the chain does,
    // so the last chain is remembered: a long grouped number is walked once, not once per group.
    std::size_t groupChainEnd(std::size_t i) const {
        if (chainEnd_ != npos && i >= chainStart_ && i <= chainEnd_ && (i - chainStart_) % 4 == 0)
            return chainEnd_;
        std::size_t end = i;
        while (is(end, U',') && digit(end + 1) && digit(end + 2) && digit(end + 3)) end += 4;
        chainStart_ = i;
        chainEnd_ = end;
        return end;
    }

    // (?<![\d.]|\d-)
    bool behindAllows(std::size_t i) const {
        if (i >= 1 && (digit(i - 1) || is(i - 1, U'.'))) return false;
        return !(i >= 2 && is(i - 1, U'-') && digit(i - 2));
    }
    // (?![\d.,]|-\d)
    bool aheadAllows(std::size_t i) const {
        if (digit(i) || is(i, U'.') || is(i, U',')) return false;
        return !(is(i, U'-') && digit(i + 1));
    }
    // (\.\d{1,2})? then the look-ahead, greedy first; the end of the match.
    std::optional<std::size_t> decimalsAndEnd(std::size_t i) const {
        if (is(i, U'.')) {
            for (std::size_t d = std::min<std::size_t>(digitRun(i + 1), 2); d >= 1; --d)
                if (aheadAllows(i + 1 + d)) return i + 1 + d;
        }
        if (aheadAllows(i)) return i;
        return std::nullopt;
    }

    std::optional<Found> at(std::size_t i) const {
        if (!digit(i) || !behindAllows(i)) return std::nullopt;
        const std::size_t run = digitRun(i);
        // \d{1,3}(?:,\d{3})+ needs all of the run before its first comma, so only a run of one to three
        // digits can start it. Giving up groups leaves the comma of the next group right after the match,
        // which the look-ahead forbids, so only the longest chain of groups can match.
        if (run <= 3) {
            const std::size_t groupsEnd = groupChainEnd(i + run);
            if (groupsEnd > i + run)
                if (const auto matchEnd = decimalsAndEnd(groupsEnd)) return Found{i, groupsEnd, *matchEnd};
        }
        // \d{1,9}
        for (std::size_t k = std::min<std::size_t>(run, 9); k >= 1; --k)
            if (const auto end = decimalsAndEnd(i + k)) return Found{i, i + k, *end};
        return std::nullopt;
    }

    static constexpr std::size_t npos = std::string_view::npos;

    std::string_view text_;
    bool bytes_;
    mutable std::size_t chainStart_ = npos;
    mutable std::size_t chainEnd_ = npos;
    std::size_t size_ = 0;
    std::vector<Kind>& kinds_;
    std::vector<std::size_t>& offsets_;
};

}  // namespace tavori::AmountExtractor
