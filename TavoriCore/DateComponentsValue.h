#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "TavoriCore/JsonCoding.h"

namespace tavori {

// A calendar date without time or zone: the one date type of the program.
struct DateComponentsValue {
    int year = 0;
    int month = 0;
    int day = 0;

    bool operator==(const DateComponentsValue&) const = default;
    auto operator<=>(const DateComponentsValue&) const = default;

    // 1990..2100, and a day that exists in that month of the Gregorian calendar.
    bool isValid() const;
    // Textual substitution of "yyyy", "MM", "dd", "M", "d", in that order; nothing else is a token.
    std::string formatted(std::string_view format) const;
    std::string description() const { return formatted("yyyy-MM-dd"); }
};

std::ostream& operator<<(std::ostream& os, const DateComponentsValue& date);

// Coded as {"year", "month", "day"}; decoding requires all three.
TAVORI_JSON_DECLARE(DateComponentsValue);

}  // namespace tavori

template <>
struct std::hash<tavori::DateComponentsValue> {
    std::size_t operator()(const tavori::DateComponentsValue& d) const noexcept {
        std::size_t h = std::hash<int>{}(d.year);
        h = h * 31 + std::hash<int>{}(d.month);
        return h * 31 + std::hash<int>{}(d.day);
    }
};
