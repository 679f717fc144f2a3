#include "TavoriCore/IndexBookSearch.h"

#include <algorithm>

#include "TavoriCore/IndexBookReader.h"
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

ParsedIndexBookQuery parseIndexBookQuery(const IndexBookQueryText& text) {
    ParsedIndexBookQuery parsed;
    IndexBookQuery& query = parsed.query;
    auto& problems = parsed.problems;
    auto date = [&](const std::string& given, std::optional<DateComponentsValue>& into) {
        if (Unicode::trim(given).empty()) return;
        into = IndexBookReader::parseDate(given);
        if (!into)
            problems.push_back("日付は 2024-01-31 の形（1990年から2100年まで）で指定してください: " + given);
    };
    auto amount = [&](const std::string& given, std::optional<std::int64_t>& into) {
        if (Unicode::trim(given).empty()) return;
        into = IndexBookReader::parseAmount(given);
        if (!into) problems.push_back("金額は円の整数で指定してください: " + given);
    };
    date(text.from, query.from);
    date(text.to, query.to);
    amount(text.minAmount, query.minAmount);
    amount(text.maxAmount, query.maxAmount);
    if (query.from && query.to && *query.to < *query.from)
        problems.push_back("期間の始まりが終わりより後です: " + query.from->formatted("yyyy/MM/dd") + " 〜 " +
                           query.to->formatted("yyyy/MM/dd"));
    if (query.minAmount && query.maxAmount && *query.minAmount > *query.maxAmount)
        problems.push_back("金額の下限が上限より大きくなっています: " + std::to_string(*query.minAmount) +
                           " 〜 " + std::to_string(*query.maxAmount));
    query.vendor = Unicode::trim(text.vendor);
    if (const std::string type = Unicode::trim(text.documentType); !type.empty()) {
        query.documentType = documentTypeFromRawValue(type);
        if (!query.documentType) {
            std::string names;
            for (DocumentType known : allDocumentTypes)
                names += (names.empty() ? "" : "、") + std::string(displayName(known));
            problems.push_back("書類種別は次のどれかで指定してください: " + names);
        }
    }
    if (const std::string number = Unicode::trim(text.registrationNumber); !number.empty()) {
        const std::string normalized = TextNormalizer::normalize(number);
        std::string letters;
        for (char c : normalized)
            if (c != ' ' && c != '-') letters += c;
        if (!letters.empty() && (letters.front() == 'T' || letters.front() == 't')) letters.erase(0, 1);
        if (letters.size() != 13 || letters.find_first_not_of("0123456789") != std::string::npos)
            problems.push_back("登録番号は T と13桁の数字で指定してください: " + number);
        query.registrationNumber = number;
    }
    return parsed;
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
