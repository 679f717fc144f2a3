#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/PreparedLines.h"
#include "TavoriCore/TextLine.h"

namespace tavori {

// A telephone number as a document prints it, and the digits that identify it.
struct TelephoneNumber {
    std::string printed;  // normalised and trimmed, e.g. "03-1234-5678" or "03(1234)5678"
    std::string digits;   // "0312345678"

    bool operator==(const TelephoneNumber&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TelephoneNumber& number);

// The telephone numbers a document gives after TEL, Tel., 電話 or ☎: a shop prints the same number on every
// receipt, so it identifies the shop where its name is only a logo.
namespace TelephoneNumberExtractor {

// Every number in reading order, each once. Only Japanese numbers count (10 or 11 digits, starting with 0);
// a FAX number is not taken.
std::vector<TelephoneNumber> extract(std::span<const TextLine> lines);
std::vector<TelephoneNumber> extract(const PreparedLines& lines);
// The numbers in free text, line by line.
std::vector<TelephoneNumber> extract(std::string_view text);
// The digits of a telephone number typed or printed in any form ("03-1234-5678", "０３（１２３４）５６７８"),
// or an empty text when it is not a Japanese number.
std::string digits(std::string_view number);

}  // namespace TelephoneNumberExtractor
}  // namespace tavori
