#include "TavoriCore/IndexBookCSV.h"

#include <algorithm>
#include <vector>

#include "TavoriCore/Unicode.h"

namespace tavori::IndexBookCSV {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kRecordEnd = "\r\n";

template <class Fields>
void appendRecord(std::string& out, const Fields& fields) {
    bool first = true;
    for (const auto& field : fields) {
        if (!first) out += ',';
        first = false;
        out += escape(field);
    }
    out += kRecordEnd;
}

// A spreadsheet program runs a cell that starts with one of these as a formula ("=HYPERLINK(…)" read from a
// receipt would become a live link), and tab and CR are how the same is hidden behind white space.
bool startsLikeFormula(std::string_view text) {
    return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

std::string optionalDecimal(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string();
}

}  // namespace

std::string escape(std::string_view field) {
    std::string text = Unicode::toValidUtf8(field);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string neutralized(std::string_view text) {
    if (!startsLikeFormula(text)) return std::string(text);
    return "'" + std::string(text);
}

bool hasTaxColumns(std::string_view bookText) {
    const std::string_view first = bookText.substr(0, bookText.find('\n'));
    return first.find(taxHeader.front()) != std::string_view::npos;
}

std::string render(std::span<const IndexBookEntry> entries, bool excelCompatible, bool taxColumns) {
    std::string out;
    if (excelCompatible) out += kByteOrderMark;
    if (taxColumns) {
        std::array<std::string_view, header.size() + taxHeader.size()> titles{};
        std::copy(header.begin(), header.end(), titles.begin());
        std::copy(taxHeader.begin(), taxHeader.end(), titles.begin() + header.size());
        appendRecord(out, titles);
    } else {
        appendRecord(out, header);
    }
    for (const IndexBookEntry& entry : entries) {
        std::vector<std::string> fields = {
            std::to_string(entry.sequence),
            entry.date ? entry.date->formatted("yyyy/MM/dd") : std::string(),
            optionalDecimal(entry.amount),
            neutralized(entry.vendor),
            std::string(displayName(entry.documentType)),
            neutralized(entry.fileName),
            neutralized(entry.registrationNumber.value_or("")),
            neutralized(entry.note),
        };
        if (taxColumns) {
            std::optional<std::int64_t> standard, standardTax, reduced, reducedTax;
            for (const TaxRateAmount& r : entry.taxBreakdown.value_or(std::vector<TaxRateAmount>{})) {
                (r.rate == 8 ? reduced : standard) = r.gross();
                (r.rate == 8 ? reducedTax : standardTax) = r.tax;
            }
            for (const auto& value : {standard, standardTax, reduced, reducedTax})
                fields.push_back(optionalDecimal(value));
        }
        appendRecord(out, fields);
    }
    return out;
}

}  // namespace tavori::IndexBookCSV
