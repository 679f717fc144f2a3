#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_set>

#include "TavoriCore/JsonCoding.h"

#include "TavoriCore/ReceiptFields.h"

namespace tavori {

// How saved documents are named: the user's pattern with placeholders, and the helpers that turn any text
// into a safe, unique file name. A default-constructed template is the standard one.
struct FileNameTemplate {
    // Each raw value is the style's own output for 12345 yen.
    enum class AmountStyle { plain, withYen, grouped, groupedYen };

    // Placeholders: {date} {vendor} {amount} {type} {regno} {seq}; any other braced text is kept.
    std::string templateText = "{date}_{vendor}_{amount}";
    // Handed to DateComponentsValue::formatted.
    std::string dateFormat = "yyyyMMdd";
    AmountStyle amountStyle = AmountStyle::plain;
    std::int64_t maxVendorLength = 30;

    // Characters kept of a rendered name.
    static constexpr std::int64_t maxRenderedLength = 200;
    // The longest file name a Linux file system takes, in bytes.
    static constexpr std::size_t maxNameBytes = 255;
    // The base name when neither the template nor the source's own name leaves anything after the safety
    // pass.
    static constexpr std::string_view untitledName = "名称未設定";

    bool operator==(const FileNameTemplate&) const = default;

    // "{date}_{vendor}_{amount}", "yyyyMMdd", plain, 30: what new settings start from.
    static const FileNameTemplate& standard();

    // The base name (no extension, no dot) for `fields`; "{seq}" takes `sequence` zero-padded to three
    // digits, or nothing. Each placeholder is replaced in turn, so a vendor named "{type}" is replaced again.
    // May be empty.
    std::string render(const ReceiptFields& fields,
                       std::optional<std::int64_t> sequence = std::nullopt) const;
    std::string formatAmount(std::int64_t amount) const;

    // Thousands separated by ",": "12,345", "-1,200", "0". The one formatter of yen amounts with separators.
    static std::string grouped(std::int64_t amount);
    // `s` without path separators, reserved punctuation, control and format characters, white-space runs as
    // one space, spaces and full stops trimmed, cut to `maxLength` user-perceived characters (none when below
    // 1).
    static std::string sanitizeComponent(std::string_view s, std::int64_t maxLength);
    // The first of "base.ext", "base (2).ext", "base (3).ext", ... (without ".ext" when `ext` is empty) whose
    // Unicode::lowercased form is not in `existing`, which must hold lower-cased full names. The base is cut
    // at a character boundary, and its trailing spaces and full stops trimmed, as far as needed for the name
    // to fit in maxNameBytes; only an extension too long to leave room for any base gives a longer name.
    static std::string uniqueName(std::string_view base, std::string_view ext,
                                  const std::unordered_set<std::string>& existing);
    // `rendered`, or the source file's own base name when the template rendered nothing, so that a save never
    // produces a nameless (hidden) file such as ".pdf". The source's name is made safe like a rendered one
    // and is always valid UTF-8 (invalid bytes become U+FFFD), as the index book records it; `untitledName`
    // when nothing of it is left.
    static std::string baseNameOrFallback(std::string_view rendered, const std::filesystem::path& source);
    // The source's extension without its dot, in lower case; bytes that are not UTF-8 are kept, only their
    // ASCII letters lowered.
    static std::string lowercasedExtension(const std::filesystem::path& source);
    // The name a save gives `source` with `fields`, before any " (2)" that a taken name adds: the base name
    // (with the fallback above) and the lower-cased extension. The one place that name is made; the list,
    // the detail pane and the save all show or use this.
    std::string savedName(const ReceiptFields& fields, const std::filesystem::path& source) const;
};

inline constexpr std::array<FileNameTemplate::AmountStyle, 4> allAmountStyles = {
    FileNameTemplate::AmountStyle::plain, FileNameTemplate::AmountStyle::withYen,
    FileNameTemplate::AmountStyle::grouped, FileNameTemplate::AmountStyle::groupedYen};

std::string_view rawValue(FileNameTemplate::AmountStyle style);
std::optional<FileNameTemplate::AmountStyle> amountStyleFromRawValue(std::string_view raw);

std::ostream& operator<<(std::ostream& os, FileNameTemplate::AmountStyle style);
std::ostream& operator<<(std::ostream& os, const FileNameTemplate& nameTemplate);

// A style is coded as its raw value; an unknown one fails to decode.
TAVORI_JSON_DECLARE(FileNameTemplate::AmountStyle);

// Coded as {"template", "dateFormat", "amountStyle", "maxVendorLength"}; decoding requires all four.
TAVORI_JSON_DECLARE(FileNameTemplate);

}  // namespace tavori
