#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "TavoriCore/JsonCoding.h"

namespace tavori {

// A 128-bit universally unique identifier, written in its standard 36-character form.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A new random (version 4) identifier.
    static Uuid random();
    // The 8-4-4-4-12 hexadecimal form in either case; anything else gives no value.
    static std::optional<Uuid> fromString(std::string_view text);
    // Upper-case 8-4-4-4-12 form.
    std::string uuidString() const;

    bool operator==(const Uuid&) const = default;
    auto operator<=>(const Uuid&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Uuid& uuid);

// Coded as its upper-case string form; decoding anything else fails.
TAVORI_JSON_DECLARE(Uuid);

}  // namespace tavori
