#include "TavoriCore/RenameMode.h"

namespace tavori {
namespace {

constexpr JsonCoding::RawValues<RenameMode, 3> kRawValues{{{
    {RenameMode::copy, "コピーして保存"},
    {RenameMode::move, "移動して保存"},
    {RenameMode::renameInPlace, "元の場所でリネーム"},
}}};

}  // namespace

TAVORI_RAW_VALUE_FUNCTIONS(RenameMode, renameModeFromRawValue, kRawValues);

TAVORI_JSON_RAW_VALUE(RenameMode, rawValue, renameModeFromRawValue, "unknown rename mode");

}  // namespace tavori
