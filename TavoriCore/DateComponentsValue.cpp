#include "TavoriCore/DateComponentsValue.h"

#include <cstdio>

namespace tavori {
namespace {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

void replaceAll(std::string& s, std::string_view token, const std::string& value) {
    for (std::size_t at = s.find(token); at != std::string::npos; at = s.find(token, at + value.size()))
        s.replace(at, token.size(), value);
}

std::string padded(int value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

}  // namespace

bool DateComponentsValue::isValid() const {
    if (year < 1990 || year > 2100 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    return day <= daysInMonth(year, month);
}

std::string DateComponentsValue::formatted(std::string_view format) const {
    std::string s(format);
    replaceAll(s, "yyyy", padded(year, 4));
    replaceAll(s, "MM", padded(month, 2));
    replaceAll(s, "dd", padded(day, 2));
    replaceAll(s, "M", std::to_string(month));
    replaceAll(s, "d", std::to_string(day));
    return s;
}

std::ostream& operator<<(std::ostream& os, const DateComponentsValue& date) {
    return os << date.description();
}

TAVORI_JSON_OBJECT(DateComponentsValue, JsonCoding::member("year", &DateComponentsValue::year),
                   JsonCoding::member("month", &DateComponentsValue::month),
                   JsonCoding::member("day", &DateComponentsValue::day));

}  // namespace tavori
