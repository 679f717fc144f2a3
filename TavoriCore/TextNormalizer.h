#pragma once

#include <string>
#include <string_view>

// The canonical form in which every extractor examines a line. All functions are total: any bytes in,
// valid UTF-8 out (invalid sequences become U+FFFD).
namespace tavori::TextNormalizer {

std::string normalize(std::string_view s);
std::string repairNumericToken(std::string_view s);
std::string digitsOnly(std::string_view s);

}  // namespace tavori::TextNormalizer
