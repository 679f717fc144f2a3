#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavori {

// The answer the language model is asked to produce, exactly as it produced it: nothing here is checked
// against the document yet.
struct GeneratedReceiptFields {
    std::string date;
    std::string vendor;
    std::int64_t totalAmount = 0;
    std::string documentType;
    std::string registrationNumber;

    bool operator==(const GeneratedReceiptFields&) const = default;

    // The name under which the schema is sent.
    static std::string_view schemaName() { return "GeneratedReceiptFields"; }
    // A JSON schema of the five members, in their order, each with the description the model reads.
    static const nlohmann::ordered_json& schema();

    // Reads a model's answer text. Anything but an object with all five members of the right types (the
    // amount an integer that fits 64 bits) gives no value; other members are ignored. Never throws.
    static std::optional<GeneratedReceiptFields> fromAnswer(std::string_view json);
};

std::ostream& operator<<(std::ostream& os, const GeneratedReceiptFields& fields);

}  // namespace tavori
