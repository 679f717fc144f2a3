#include "TavoriCore/TaxBreakdown.h"

namespace tavori {

std::int64_t TaxRateAmount::taxOrComputed() const {
    if (tax) return *tax;
    return taxIncluded ? taxableAmount * rate / (100 + rate) : taxableAmount * rate / 100;
}

std::int64_t TaxRateAmount::gross() const {
    return taxIncluded ? taxableAmount : taxableAmount + taxOrComputed();
}

std::ostream& operator<<(std::ostream& os, const TaxRateAmount& amount) {
    os << "{" << amount.rate << "%: " << amount.taxableAmount << (amount.taxIncluded ? " incl" : " excl")
       << ", tax ";
    if (amount.tax)
        os << *amount.tax;
    else
        os << "-";
    return os << "}";
}

TAVORI_JSON_OBJECT(TaxRateAmount, JsonCoding::member("rate", &TaxRateAmount::rate),
                   JsonCoding::member("taxableAmount", &TaxRateAmount::taxableAmount),
                   JsonCoding::member("tax", &TaxRateAmount::tax),
                   JsonCoding::member("taxIncluded", &TaxRateAmount::taxIncluded));

namespace TaxBreakdown {
namespace {

// A till rounds the tax of each rate once, down, up or to the nearest yen: any of the three fits.
bool taxFits(const TaxRateAmount& amount) {
    if (!amount.tax) return false;
    const std::int64_t base = amount.taxableAmount * amount.rate;
    const std::int64_t divisor = amount.taxIncluded ? 100 + amount.rate : 100;
    const std::int64_t down = base / divisor;
    return *amount.tax == down || *amount.tax == down + 1;
}

}  // namespace

std::int64_t grossTotal(std::span<const TaxRateAmount> rates) {
    std::int64_t sum = 0;
    for (const TaxRateAmount& r : rates) sum += r.gross();
    return sum;
}

FieldConfidence::Level assess(std::span<const TaxRateAmount> rates, std::optional<std::int64_t> total) {
    using Level = FieldConfidence::Level;
    if (rates.empty()) return Level::missing;
    if (!total) return Level::medium;
    if (grossTotal(rates) != *total) return Level::low;
    for (const TaxRateAmount& r : rates)
        if (!taxFits(r)) return Level::medium;
    return Level::high;
}

}  // namespace TaxBreakdown
}  // namespace tavori
