#pragma once

#include <optional>
#include <string>

#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriCore/VendorMemory.h"

namespace tavori {

// What the user's settings contribute to an analysis.
struct AnalyzerOptions {
    // The user's own name as written in the addressee line, so the user is never taken for the vendor.
    std::optional<std::string> recipientName;
    VendorAliasDictionary aliases;
    // Names the user gave before, by registration and telephone number; they win over the rules.
    VendorMemory vendors;

    bool operator==(const AnalyzerOptions&) const = default;
};

}  // namespace tavori
