#include "TavoriCore/Pattern.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace tavori {
namespace {

std::atomic<std::size_t> nextSlot{0};

// Matchers hold per-search state, so each thread keeps its own matcher per pattern and reuses it; compiled
// patterns are shared read-only.
std::unordered_map<std::size_t, std::unique_ptr<icu::RegexMatcher>>& threadMatchers() {
    thread_local std::unordered_map<std::size_t, std::unique_ptr<icu::RegexMatcher>> matchers;
    return matchers;
}

}  // namespace

std::string Pattern::Match::group(int i) const {
    if (i < 1 || static_cast<std::size_t>(i) > groups.size()) return {};
    const auto& g = groups[static_cast<std::size_t>(i - 1)];
    return g ? *g : std::string();
}

Pattern::Pattern(std::string_view pattern, std::uint32_t flags) : slot_(nextSlot++) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    regex_.reset(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), flags, parseError, status));
    if (U_FAILURE(status) || !regex_) {
        std::fprintf(stderr, "TavoriCore/Pattern: the pattern \"%.*s\" does not compile (%s at offset %d)\n",
                     static_cast<int>(pattern.size()), pattern.data(), u_errorName(status),
                     parseError.offset);
        std::abort();
    }
}

Pattern::~Pattern() {
    threadMatchers().erase(slot_);
}

icu::RegexMatcher& Pattern::matcherFor(const icu::UnicodeString& text) const {
    auto& slot = threadMatchers()[slot_];
    if (!slot) {
        UErrorCode status = U_ZERO_ERROR;
        slot.reset(regex_->matcher(status));
        if (U_FAILURE(status) || !slot) {
            std::fprintf(stderr, "TavoriCore/Pattern: cannot create a matcher (%s)\n", u_errorName(status));
            std::abort();
        }
    }
    slot->reset(text);
    return *slot;
}

std::vector<Pattern::Match> Pattern::matches(const Unicode::Text& text) const {
    std::vector<Match> out;
    icu::RegexMatcher& matcher = matcherFor(text.utf16());
    const std::string_view bytes = text.utf8();
    auto slice = [&](std::int32_t begin, std::int32_t end) {
        const std::size_t b = text.byteOffset(begin);
        return std::string(bytes.substr(b, text.byteOffset(end) - b));
    };
    const std::int32_t groupCount = matcher.groupCount();
    UErrorCode status = U_ZERO_ERROR;
    while (matcher.find(status) && U_SUCCESS(status)) {
        const std::int32_t begin = matcher.start(status);
        const std::int32_t end = matcher.end(status);
        Match match;
        match.range = {text.byteOffset(begin), text.byteOffset(end)};
        match.full = slice(begin, end);
        match.groups.reserve(static_cast<std::size_t>(groupCount));
        for (std::int32_t g = 1; g <= groupCount; ++g) {
            const std::int32_t gb = matcher.start(g, status);
            if (gb < 0) {
                match.groups.emplace_back(std::nullopt);
            } else {
                match.groups.emplace_back(slice(gb, matcher.end(g, status)));
            }
        }
        if (U_FAILURE(status)) break;
        out.push_back(std::move(match));
    }
    return out;
}

std::vector<Pattern::Match> Pattern::matches(std::string_view text) const {
    return matches(Unicode::Text(text));
}

bool Pattern::matchesAnywhere(const Unicode::Text& text) const {
    UErrorCode status = U_ZERO_ERROR;
    return matcherFor(text.utf16()).find(status) && U_SUCCESS(status);
}

bool Pattern::matchesAnywhere(std::string_view text) const {
    return matchesAnywhere(Unicode::Text(text));
}

std::string Pattern::replacingMatches(std::string_view text, std::string_view replacement) const {
    const Unicode::Text subject(text);
    const std::string_view bytes = subject.utf8();
    std::string out;
    out.reserve(bytes.size());
    std::size_t copied = 0;
    for (const Match& m : matches(subject)) {
        out.append(bytes.substr(copied, m.range.begin - copied));
        out.append(replacement);
        copied = m.range.end;
    }
    out.append(bytes.substr(copied));
    return out;
}

std::ostream& operator<<(std::ostream& os, const Pattern::Match& match) {
    os << "Match{\"" << match.full << "\" [" << match.range.begin << ", " << match.range.end << ") groups:";
    for (const auto& g : match.groups) os << ' ' << (g ? "\"" + *g + "\"" : std::string("<absent>"));
    return os << '}';
}

}  // namespace tavori
