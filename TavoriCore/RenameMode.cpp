#include "TavoriCore/RenameMode.h"

namespace tavori {
namespace {

constexpr JsonCoding::RawValues<RenameMode, 3> kRawValues{{{
    {RenameMode::copy, "コピーして保存"},
    {RenameMode::move, "移動して保存"},
    {RenameMode::renameInPlace, "元の場所でリネーム"},
}}};

}  // namespace

std::string_view rawValue(RenameMode mode) {
    return kRawValues.rawValue(mode);
}

std::optional<RenameMode> renameModeFromRawValue(std::string_view raw) {
    return kRawValues.fromRawValue(raw);
}

std::ostream& operator<<(std::ostream& os, RenameMode mode) {
    return os << rawValue(mode);
}

TAVORI_JSON_RAW_VALUE(RenameMode, rawValue, renameModeFromRawValue, "unknown rename mode");

}  // namespace tavori
