#include "TavoriCore/IndexBookSearch.h"

#include <algorithm>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const IndexBookQuery& query) {
    os << "IndexBookQuery{";
    if (query.from) os << " from:" << *query.from;
    if (query.to) os << " to:" << *query.to;
    if (query.minAmount) os << " min:" << *query.minAmount;
    if (query.maxAmount) os << " max:" << *query.maxAmount;
    if (!query.vendor.empty()) os << " vendor:\"" << query.vendor << '"';
    if (query.documentType) os << " type:" << *query.documentType;
    if (!query.registrationNumber.empty()) os << " registration:" << query.registrationNumber;
    return os << " }";
}

namespace IndexBookSearch {

std::string vendorKey(std::string_view vendor) {
    return Unicode::lowercasedNfc(TextNormalizer::normalize(vendor));
}

std::string registrationKey(std::string_view number) {
    return TextNormalizer::digitsOnly(TextNormalizer::normalize(number));
}

std::vector<std::size_t> search(std::span<const IndexBookEntry> rows, const IndexBookQuery& query) {
    const std::string vendor = vendorKey(query.vendor);
    const std::string registration = registrationKey(query.registrationNumber);
    // A number given with no digits at all can match nothing, rather than everything.
    const bool registrationAsked = !Unicode::trim(query.registrationNumber).empty();

    std::vector<std::size_t> found;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const IndexBookEntry& row = rows[k];
        if ((query.from || query.to) && !row.date) continue;
        if (query.from && *row.date < *query.from) continue;
        if (query.to && *row.date > *query.to) continue;
        if ((query.minAmount || query.maxAmount) && !row.amount) continue;
        if (query.minAmount && *row.amount < *query.minAmount) continue;
        if (query.maxAmount && *row.amount > *query.maxAmount) continue;
        if (query.documentType && row.documentType != *query.documentType) continue;
        if (registrationAsked &&
            (registration.empty() || registrationKey(row.registrationNumber.value_or("")) != registration))
            continue;
        if (!vendor.empty() && !Unicode::containsPrepared(vendorKey(row.vendor), vendor)) continue;
        found.push_back(k);
    }
    std::stable_sort(found.begin(), found.end(), [&](std::size_t a, std::size_t b) {
        const auto& da = rows[a].date;
        const auto& db = rows[b].date;
        if (!da || !db) return da.has_value() && !db.has_value();
        return *da < *db;
    });
    return found;
}

}  // namespace IndexBookSearch
}  // namespace tavori
