#pragma once

#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/JsonCoding.h"

#include "TavoriCore/Uuid.h"

namespace tavori {

// Maps the many spellings of a vendor on receipts to the one name the user wants in file names and the index
// book: the user's rules first, then the built-in ones, and otherwise the name without corporate forms.
struct VendorAliasDictionary {
    struct Rule {
        Uuid id;
        std::string pattern;    // looked for anywhere in the name, ignoring case, exactly as typed
        std::string canonical;  // returned unchanged when the pattern is found

        bool operator==(const Rule&) const = default;
    };

    std::vector<Rule> rules;
    bool stripCorporateSuffix = true;

    bool operator==(const VendorAliasDictionary&) const = default;

    std::string canonicalName(std::string_view name) const;
    // True when the name is nothing but corporate forms and separators, so it cannot stand as a vendor.
    static bool isBareCorporateAffix(std::string_view name);

    // Consulted after the user's rules, in this order; their ids are fresh for every run and never stored.
    static const std::vector<Rule>& defaultRules();
    // Removed in this order: longer forms stand before the shorter forms they contain.
    static const std::array<std::string_view, 24>& corporateAffixes();
};

std::ostream& operator<<(std::ostream& os, const VendorAliasDictionary::Rule& rule);
std::ostream& operator<<(std::ostream& os, const VendorAliasDictionary& dictionary);

// Coded as {"id", "pattern", "canonical"} (the id upper-case) and {"rules", "stripCorporateSuffix"}; decoding
// requires every key and fails on a wrong type or an id that is not a UUID.
TAVORI_JSON_DECLARE(VendorAliasDictionary::Rule);
TAVORI_JSON_DECLARE(VendorAliasDictionary);

}  // namespace tavori
