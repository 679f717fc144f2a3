#include "TavoriCore/FileNameTemplate.h"

#include <cinttypes>
#include <cstdio>

#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/Unicode.h"

namespace tavori {
namespace {

using AmountStyle = FileNameTemplate::AmountStyle;

// Replaces every occurrence, continuing after each inserted value so that a value holding its own placeholder
// does not loop; later placeholders inside a value are still replaced by later calls.
void replaceAll(std::string& s, std::string_view placeholder, std::string_view value) {
    for (std::size_t at = s.find(placeholder); at != std::string::npos;
         at = s.find(placeholder, at + value.size()))
        s.replace(at, placeholder.size(), value);
}

bool isDroppedFromNames(char32_t c) {
    switch (c) {
        case U'/':
        case U'\\':
        case U':':
        case U'*':
        case U'?':
        case U'"':
        case U'<':
        case U'>':
        case U'|':
            return true;
        default:
            // Format characters include the bidirectional controls, with which a name could show as
            // "…gpj.exe" while it ends in ".jpg"; none of them is visible in a name.
            return c < 0x20 || Unicode::isFormatOrControl(c);
    }
}

bool isTrimmedFromNames(char c) {
    return c == ' ' || c == '.';
}

std::string trimmedSpacesAndFullStops(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isTrimmedFromNames(s[begin])) ++begin;
    while (end > begin && isTrimmedFromNames(s[end - 1])) --end;
    return std::string(s.substr(begin, end - begin));
}

// Only for a single character longer than the whole budget (a letter with hundreds of combining marks):
// splitting it between scalars still gives a visible name, where cutting at characters would leave none.
std::string scalarPrefixWithinBytes(std::string_view s, std::size_t maxBytes) {
    std::size_t cut = 0;
    for (std::size_t i = 0; i < s.size();) {
        Unicode::nextScalar(s, i);
        if (i > maxBytes) break;
        cut = i;
    }
    return std::string(s.substr(0, cut));
}

// `base` cut so that `reserved` more bytes still fit in a file name.
std::string fittedBase(std::string_view base, std::size_t reserved) {
    if (base.size() + reserved <= FileNameTemplate::maxNameBytes) return std::string(base);
    // No room for even one byte of base: cutting cannot help, and an empty base would make a hidden file.
    if (reserved >= FileNameTemplate::maxNameBytes) return std::string(base);
    const std::size_t budget = FileNameTemplate::maxNameBytes - reserved;
    std::string cut = Unicode::prefixWithinBytes(base, budget);
    if (cut.empty()) cut = scalarPrefixWithinBytes(base, budget);
    std::size_t end = cut.size();
    while (end > 0 && isTrimmedFromNames(cut[end - 1])) --end;
    if (end > 0) cut.resize(end);
    return cut;
}

constexpr JsonCoding::RawValues<AmountStyle, 4> kAmountStyles{{{
    {AmountStyle::withYen, "12345円"},
    {AmountStyle::grouped, "12,345"},
    {AmountStyle::groupedYen, "12,345円"},
    {AmountStyle::plain, "12345"},
}}};

}  // namespace

const FileNameTemplate& FileNameTemplate::standard() {
    static const FileNameTemplate standardTemplate;
    return standardTemplate;
}

std::string FileNameTemplate::render(const ReceiptFields& fields,
                                     std::optional<std::int64_t> sequence) const {
    std::string s = templateText;
    replaceAll(s, "{date}", fields.date ? fields.date->formatted(dateFormat) : "日付不明");
    replaceAll(s, "{vendor}",
               sanitizeComponent(fields.vendor.empty() ? "取引先不明" : fields.vendor, maxVendorLength));
    replaceAll(s, "{amount}", fields.amount ? formatAmount(*fields.amount) : "金額不明");
    replaceAll(s, "{type}", rawValue(fields.documentType));
    replaceAll(s, "{regno}", fields.registrationNumber.value_or(""));
    std::string number;
    if (sequence) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%03" PRId64, *sequence);
        number = buffer;
    }
    replaceAll(s, "{seq}", number);
    return sanitizeComponent(s, maxRenderedLength);
}

std::string FileNameTemplate::formatAmount(std::int64_t amount) const {
    switch (amountStyle) {
        case AmountStyle::plain:
            return std::to_string(amount);
        case AmountStyle::withYen:
            return std::to_string(amount) + "円";
        case AmountStyle::grouped:
            return grouped(amount);
        case AmountStyle::groupedYen:
            return grouped(amount) + "円";
    }
    return std::to_string(amount);
}

std::string FileNameTemplate::grouped(std::int64_t amount) {
    const std::string plain = std::to_string(amount);
    const std::size_t sign = plain.front() == '-' ? 1 : 0;
    const std::size_t digits = plain.size() - sign;
    std::string out = plain.substr(0, sign);
    for (std::size_t i = 0; i < digits; ++i) {
        if (i > 0 && (digits - i) % 3 == 0) out += ',';
        out += plain[sign + i];
    }
    return out;
}

std::string FileNameTemplate::sanitizeComponent(std::string_view s, std::int64_t maxLength) {
    std::string kept;
    kept.reserve(s.size());
    bool afterSpace = false;
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = Unicode::nextScalar(s, i);
        if (isDroppedFromNames(c)) continue;
        if (Unicode::isWhiteSpace(c)) {
            if (!afterSpace) kept += ' ';
            afterSpace = true;
            continue;
        }
        afterSpace = false;
        Unicode::appendScalar(kept, c);
    }
    std::string result = trimmedSpacesAndFullStops(kept);
    if (maxLength < 1) return {};
    if (Unicode::characterCount(result) > static_cast<std::uint64_t>(maxLength))
        result =
            trimmedSpacesAndFullStops(Unicode::prefixCharacters(result, static_cast<std::size_t>(maxLength)));
    return result;
}

std::string FileNameTemplate::uniqueName(std::string_view base, std::string_view ext,
                                         const std::unordered_set<std::string>& existing) {
    const std::string dotExt = ext.empty() ? std::string() : "." + std::string(ext);
    // Each n gives a different trailing " (n)", so the loop ends once it has passed every name in `existing`.
    for (std::uint64_t n = 1;; ++n) {
        const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
        std::string candidate = fittedBase(base, suffix.size() + dotExt.size()) + suffix + dotExt;
        if (!existing.contains(Unicode::lowercased(candidate))) return candidate;
    }
}

std::string FileNameTemplate::baseNameOrFallback(std::string_view rendered,
                                                 const std::filesystem::path& source) {
    if (!rendered.empty()) return std::string(rendered);
    // The source's own name goes through the same safety pass as a rendered one, and into the index book
    // as it is saved, so it must be valid text: bytes that are not UTF-8 become U+FFFD on disk too.
    std::string own = sanitizeComponent(Unicode::toValidUtf8(source.stem().native()), maxRenderedLength);
    if (own.empty()) own = untitledName;
    return own;
}

std::string FileNameTemplate::lowercasedExtension(const std::filesystem::path& source) {
    std::string ext = source.extension().native();
    if (!ext.empty()) ext.erase(0, 1);
    if (Unicode::isValidUtf8(ext)) return Unicode::lowercased(ext);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::string FileNameTemplate::savedName(const ReceiptFields& fields,
                                        const std::filesystem::path& source) const {
    std::string name = baseNameOrFallback(render(fields), source);
    const std::string ext = lowercasedExtension(source);
    if (!ext.empty()) name += '.' + ext;
    return name;
}

TAVORI_RAW_VALUE_FUNCTIONS(AmountStyle, amountStyleFromRawValue, kAmountStyles);

std::ostream& operator<<(std::ostream& os, const FileNameTemplate& t) {
    return os << "{template: \"" << t.templateText << "\", dateFormat: \"" << t.dateFormat
              << "\", amountStyle: " << t.amountStyle << ", maxVendorLength: " << t.maxVendorLength << "}";
}

TAVORI_JSON_RAW_VALUE(AmountStyle, rawValue, amountStyleFromRawValue, "unknown amount style");

TAVORI_JSON_OBJECT(FileNameTemplate, JsonCoding::member("template", &FileNameTemplate::templateText),
                   JsonCoding::member("dateFormat", &FileNameTemplate::dateFormat),
                   JsonCoding::member("amountStyle", &FileNameTemplate::amountStyle),
                   JsonCoding::member("maxVendorLength", &FileNameTemplate::maxVendorLength));

}  // namespace tavori
