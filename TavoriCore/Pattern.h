#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/regex.h>

#include "TavoriCore/Unicode.h"

namespace tavori {

// One compiled ICU regular expression, immutable and shared between threads. Every pattern in the program is
// a function-local static constant; one that does not compile is a defect and aborts.
class Pattern {
  public:
    struct Range {
        std::size_t begin = 0;  // byte offsets into the searched text, half-open
        std::size_t end = 0;
        bool operator==(const Range&) const = default;
    };

    struct Match {
        std::string full;
        std::vector<std::optional<std::string>> groups;  // entry 0 is group 1; absent when it took no part
        Range range;

        // Text of group i counting from 1; empty when out of range or not participating.
        std::string group(int i) const;
        bool operator==(const Match&) const = default;
    };

    explicit Pattern(std::string_view pattern, std::uint32_t flags = 0);
    ~Pattern();
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    // All non-overlapping matches, left to right.
    std::vector<Match> matches(std::string_view text) const;
    std::vector<Match> matches(const Unicode::Text& text) const;
    bool matchesAnywhere(const Unicode::Text& text) const;
    bool matchesAnywhere(std::string_view text) const;
    // `text` with every match replaced by `replacement` taken literally.
    std::string replacingMatches(std::string_view text, std::string_view replacement) const;

    const icu::RegexPattern& regex() const { return *regex_; }

  private:
    icu::RegexMatcher& matcherFor(const icu::UnicodeString& text) const;

    std::unique_ptr<icu::RegexPattern> regex_;
    std::size_t slot_;
};

std::ostream& operator<<(std::ostream& os, const Pattern::Match& match);

}  // namespace tavori
