#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

#include "TavoriCore/FieldConfidence.h"
#include "TavoriCore/JsonCoding.h"

namespace tavori {

// The amount a document puts under one consumption-tax rate and the tax on it, as printed: a receipt that
// prices with tax included (内税) gives the amount with its tax in it, one that adds the tax (外税) the
// amount before it.
struct TaxRateAmount {
    int rate = 10;                    // percent: 10, or 8 for the reduced rate
    std::int64_t taxableAmount = 0;   // the amount subject to the rate (対象額)
    std::optional<std::int64_t> tax;  // the tax on it, when printed
    bool taxIncluded = true;          // `taxableAmount` already holds the tax

    bool operator==(const TaxRateAmount&) const = default;

    // What was paid under this rate, tax included; a tax left out of a tax-excluded amount is worked out
    // rounding down, as most tills do.
    std::int64_t gross() const;
    // The tax, printed or worked out from the amount (rounded down).
    std::int64_t taxOrComputed() const;
};

std::ostream& operator<<(std::ostream& os, const TaxRateAmount& amount);

// Coded as {"rate", "taxableAmount", "tax", "taxIncluded"}; an absent tax is left out.
TAVORI_JSON_DECLARE(TaxRateAmount);

namespace TaxBreakdown {

// Whether the amounts by rate add up to the total: missing when there are none, low when they disagree with
// the total, high when they agree and every tax was printed and fits its amount, medium otherwise (no total
// to compare, or a tax left out or worked out).
FieldConfidence::Level assess(std::span<const TaxRateAmount> rates, std::optional<std::int64_t> total);

// The sum of the amounts by rate, tax included.
std::int64_t grossTotal(std::span<const TaxRateAmount> rates);

}  // namespace TaxBreakdown
}  // namespace tavori
