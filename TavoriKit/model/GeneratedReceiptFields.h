#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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
    // Per tax rate as the model read it: {rate, taxableAmount, tax}; an answer without the member has none.
    struct TaxRate {
        std::int64_t rate = 0;
        std::int64_t taxableAmount = 0;
        std::int64_t tax = 0;
        bool operator==(const TaxRate&) const = default;
    };
    std::vector<TaxRate> taxBreakdown = {};

    bool operator==(const GeneratedReceiptFields&) const = default;

    // The name under which the schema is sent.
    static std::string_view schemaName() { return "GeneratedReceiptFields"; }
    // A JSON schema of the five members, in their order, each with the description the model reads.
    static const nlohmann::ordered_json& schema();

    // Reads a model's answer text. Anything but an object with all five members of the right types (the
    // amount an integer that fits 64 bits) gives no value; a "taxBreakdown" that is not a list of objects of
    // three integers is read as none; other members are ignored. Never throws.
    static std::optional<GeneratedReceiptFields> fromAnswer(std::string_view json);
};

std::ostream& operator<<(std::ostream& os, const GeneratedReceiptFields& fields);

}  // namespace tavori
