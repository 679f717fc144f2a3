#include "TavoriKit/reading/NumberJoiner.h"

#include <cstddef>
#include <vector>

#include "TavoriCore/Unicode.h"

namespace tavori::NumberJoiner {
namespace {

bool isDigit(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'０' && c <= U'９');
}
bool isSpace(char32_t c) {
    return c == U' ' || c == U'\u3000';
}
bool isComma(char32_t c) {
    return c == U',' || c == U'，';
}
bool isPoint(char32_t c) {
    return c == U'.' || c == U'．';
}
// The backslash too: a Japanese font draws it as the yen sign, and readers take one for the other.
bool isYen(char32_t c) {
    return c == U'¥' || c == U'￥' || c == U'\\';
}
bool isCurrency(char32_t c) {
    return isYen(c) || c == U'$' || c == U'＄';
}

// Number of digits starting at `i`.
std::size_t digitRun(const std::vector<char32_t>& s, std::size_t i) {
    std::size_t n = 0;
    while (i + n < s.size() && isDigit(s[i + n])) ++n;
    return n;
}

std::size_t skipSpaces(const std::vector<char32_t>& s, std::size_t i) {
    while (i < s.size() && isSpace(s[i])) ++i;
    return i;
}

// The separator at `sep`, preceded by a digit, introduces a group of the right length at `groupStart`.
bool separatorJoins(const std::vector<char32_t>& s, std::size_t sep, std::size_t groupStart) {
    std::size_t before = sep;
    while (before > 0 && isSpace(s[before - 1])) --before;
    if (before == 0 || !isDigit(s[before - 1])) return false;
    const std::size_t run = digitRun(s, groupStart);
    if (isComma(s[sep])) return run == 3;
    if (isPoint(s[sep])) return run == 2;
    return false;
}

// A yen amount has no decimals: after a yen sign, a point before exactly three digits is a thousands comma
// the reader took for a point, as in 「¥1.180」.
void yenPointsAsCommas(std::vector<char32_t>& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!isYen(s[i])) continue;
        std::size_t at = i + 1 + digitRun(s, i + 1);
        if (at == i + 1 || at - (i + 1) > 3) continue;
        std::vector<std::size_t> points;
        while (at < s.size() && isPoint(s[at]) && digitRun(s, at + 1) == 3) {
            points.push_back(at);
            at += 4;
        }
        if (points.empty() || (at < s.size() && (isPoint(s[at]) || isComma(s[at])))) continue;
        for (std::size_t point : points) s[point] = U',';
    }
}

}  // namespace

std::string join(std::string_view text) {
    std::vector<char32_t> s;
    s.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) s.push_back(Unicode::nextScalar(text, i));

    std::vector<char32_t> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (!isSpace(s[i])) {
            out.push_back(s[i++]);
            continue;
        }
        const std::size_t end = skipSpaces(s, i);
        bool drop = false;
        if (end < s.size() && i > 0) {
            const char32_t before = s[i - 1], after = s[end];
            if (isCurrency(before) && isDigit(after)) {
                drop = true;  // "¥ 500"
            } else if ((isComma(before) || isPoint(before)) && isDigit(after)) {
                drop = separatorJoins(s, i - 1, end);  // "1, 980", "80. 90"
            } else if (isDigit(before) && (isComma(after) || isPoint(after))) {
                drop = separatorJoins(s, end, skipSpaces(s, end + 1));  // "1 ,980", "1 , 980"
            }
        }
        if (!drop)
            out.insert(out.end(), s.begin() + static_cast<std::ptrdiff_t>(i),
                       s.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    yenPointsAsCommas(out);
    std::string result;
    result.reserve(text.size());
    for (char32_t c : out) Unicode::appendScalar(result, c);
    return result;
}

}  // namespace tavori::NumberJoiner
