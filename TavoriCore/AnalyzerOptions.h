#pragma once

#include <optional>
#include <string>

#include "TavoriCore/VendorAliasDictionary.h"

namespace tavori {

// What the user's settings contribute to an analysis.
struct AnalyzerOptions {
    // The user's own name as written in the addressee line, so the user is never taken for the vendor.
    std::optional<std::string> recipientName;
    VendorAliasDictionary aliases;

    bool operator==(const AnalyzerOptions&) const = default;
};

}  // namespace tavori
