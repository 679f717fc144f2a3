#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/DocumentType.h"

namespace tavori {

// What survives of the language model's answer once every value has been found again in the document's text.
struct SemanticFields {
    std::optional<DateComponentsValue> date;
    std::optional<std::string> vendor;
    std::optional<std::int64_t> amount;
    std::optional<DocumentType> documentType;
    std::optional<std::string> registrationNumber;  // "T" + 13 digits

    bool operator==(const SemanticFields&) const = default;
};

std::ostream& operator<<(std::ostream& os, const SemanticFields& fields);

}  // namespace tavori
