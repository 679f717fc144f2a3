#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/JsonCoding.h"

namespace tavori {

// How far the date, vendor and amount of a result can be trusted, with the notes that explain doubtful
// readings.
struct FieldConfidence {
    enum class Level { high, medium, low, missing };

    Level date = Level::missing;
    Level vendor = Level::missing;
    Level amount = Level::missing;
    // Each note is a field label + ": " + message, in the order written.
    std::vector<std::string> notes;
    // Whether the amounts by tax rate add up to the total; missing, the usual case, asks for nothing.
    Level taxBreakdown = Level::missing;

    // The reason given when the amounts by rate do not add up to the total.
    static constexpr std::string_view kTaxBreakdownDisagrees = "金額: 税率別の金額が合計と一致しません";

    bool operator==(const FieldConfidence&) const = default;

    // A low or missing field, or amounts by rate that disagree with the total, ask for review; a medium one
    // and notes do not.
    bool needsReview() const;
    // One reason per field that is not high (date, vendor, amount), the disagreeing amounts by rate, then
    // every note.
    std::vector<std::string> reviewReasons() const;
};

inline constexpr std::array<FieldConfidence::Level, 4> allConfidenceLevels = {
    FieldConfidence::Level::high, FieldConfidence::Level::medium, FieldConfidence::Level::low,
    FieldConfidence::Level::missing};

std::string_view rawValue(FieldConfidence::Level level);
std::optional<FieldConfidence::Level> confidenceLevelFromRawValue(std::string_view raw);

std::ostream& operator<<(std::ostream& os, FieldConfidence::Level level);
std::ostream& operator<<(std::ostream& os, const FieldConfidence& confidence);

// A level is coded as its raw value; an unknown one fails to decode.
TAVORI_JSON_DECLARE(FieldConfidence::Level);

// Coded as {"date", "vendor", "amount", "notes", "taxBreakdown"}; decoding requires the first four, and
// "taxBreakdown" is left out while missing.
TAVORI_JSON_DECLARE(FieldConfidence);

}  // namespace tavori
