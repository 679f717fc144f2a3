#include "TavoriCore/RenameMode.h"

namespace tavori {
namespace {

constexpr JsonCoding::RawValues<RenameMode, 3> kRawValues{{{
    {RenameMode::copy, "copy"},
    {RenameMode::move, "move"},
    {RenameMode::renameInPlace, "rename"},
}}};

constexpr JsonCoding::RawValues<RenameMode, 3> kLabels{{{
    {RenameMode::copy, "コピーして保存"},
    {RenameMode::move, "移動して保存"},
    {RenameMode::renameInPlace, "元の場所でリネーム"},
}}};

}  // namespace

std::optional<RenameMode> renameModeFromName(std::string_view name) {
    if (const auto mode = kRawValues.fromRawValue(name)) return mode;
    return kLabels.fromRawValue(name);
}

TAVORI_RAW_VALUE_FUNCTIONS(RenameMode, renameModeFromRawValue, kRawValues);

std::string_view label(RenameMode mode) {
    return kLabels.rawValue(mode);
}

TAVORI_JSON_RAW_VALUE(RenameMode, rawValue, renameModeFromName, "unknown rename mode");

}  // namespace tavori
