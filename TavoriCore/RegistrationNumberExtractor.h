#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

// Qualified-invoice registration numbers: "T" and 13 digits, the corporate number for a company.
namespace tavori::RegistrationNumberExtractor {

// Every distinct number found, as "T" + 13 ASCII digits, in order of first appearance.
std::vector<std::string> extract(std::span<const TextLine> lines);
std::vector<std::string> extract(const PreparedLines& lines);

// Whether the 13 digits of `number` carry a valid corporate-number check digit; no value unless `number`
// holds exactly 13 ASCII digits (any other characters are ignored).
std::optional<bool> corporateCheckDigitMatches(std::string_view number);

}  // namespace tavori::RegistrationNumberExtractor
