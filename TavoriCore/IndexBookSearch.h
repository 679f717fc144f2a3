#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/DocumentType.h"
#include "TavoriCore/IndexBookEntry.h"

namespace tavori {

// What the user looks for in the index book. Every condition that is set must hold; none set matches every
// row. Ranges include their ends; a row without a date (amount) never meets a date (amount) condition.
struct IndexBookQuery {
    std::optional<DateComponentsValue> from;
    std::optional<DateComponentsValue> to;
    std::optional<std::int64_t> minAmount;
    std::optional<std::int64_t> maxAmount;
    std::string vendor;  // contained in the row's vendor, ignoring case and full/half-width forms; "" is any
    std::optional<DocumentType> documentType;
    std::string registrationNumber;  // the same number, with or without the T, spaces or hyphens; "" is any

    bool operator==(const IndexBookQuery&) const = default;
};

std::ostream& operator<<(std::ostream& os, const IndexBookQuery& query);

// A query as the user typed it, in the command line's options or the search window's fields; an empty (or
// blank) text is a condition not set.
struct IndexBookQueryText {
    std::string from, to;
    std::string minAmount, maxAmount;
    std::string vendor;
    std::string documentType;  // a type's Japanese name
    std::string registrationNumber;
};

// The query, or the Japanese sentences saying what is wrong with the text: a date or amount that is not
// one, a range whose start lies after its end, an unknown type, a registration number that is not "T" and
// 13 digits.
struct ParsedIndexBookQuery {
    IndexBookQuery query;
    std::vector<std::string> problems;
    bool ok() const { return problems.empty(); }
};
ParsedIndexBookQuery parseIndexBookQuery(const IndexBookQueryText& text);

namespace IndexBookSearch {

// Positions in `rows` of the rows that match, in date order (undated rows last); rows of one date keep their
// order in `rows`.
std::vector<std::size_t> search(std::span<const IndexBookEntry> rows, const IndexBookQuery& query);

// The form in which vendors are compared: normalised (full-width letters and digits as ASCII), lower-cased
// and composed.
std::string vendorKey(std::string_view vendor);

// The registration number's comparable form: its 13 digits, or "" when it has none.
std::string registrationKey(std::string_view number);

}  // namespace IndexBookSearch
}  // namespace tavori
