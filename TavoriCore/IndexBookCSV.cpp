#include "TavoriCore/IndexBookCSV.h"

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

std::string render(std::span<const IndexBookEntry> entries, bool excelCompatible) {
    std::string out;
    if (excelCompatible) out += kByteOrderMark;
    appendRecord(out, header);
    for (const IndexBookEntry& entry : entries) {
        const std::array<std::string, 8> fields = {
            std::to_string(entry.sequence),
            entry.date ? entry.date->formatted("yyyy/MM/dd") : std::string(),
            optionalDecimal(entry.amount),
            neutralized(entry.vendor),
            std::string(displayName(entry.documentType)),
            neutralized(entry.fileName),
            neutralized(entry.registrationNumber.value_or("")),
            neutralized(entry.note),
        };
        appendRecord(out, fields);
    }
    return out;
}

}  // namespace tavori::IndexBookCSV
