#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string_view>

#include "TavoriCore/JsonCoding.h"

namespace tavori {

// What saving does with a document. Kept apart from the plans that carry it out, so that the stored settings
// can name a mode without the file operations. The raw value ("copy", "move", "rename") is the stored form
// and the command line's word; the label is what the window shows.
enum class RenameMode { copy, move, renameInPlace };

inline constexpr std::array<RenameMode, 3> allRenameModes = {RenameMode::copy, RenameMode::move,
                                                             RenameMode::renameInPlace};

std::string_view rawValue(RenameMode mode);
std::optional<RenameMode> renameModeFromRawValue(std::string_view raw);
std::ostream& operator<<(std::ostream& os, RenameMode mode);
// 「コピーして保存」, 「移動して保存」, 「元の場所でリネーム」.
std::string_view label(RenameMode mode);
// A raw value or a label: what the command line takes, and what settings of earlier versions stored.
std::optional<RenameMode> renameModeFromName(std::string_view name);

// Coded as its raw value; decoding also takes the label (the stored form of earlier versions); anything else
// fails to decode.
TAVORI_JSON_DECLARE(RenameMode);

}  // namespace tavori
