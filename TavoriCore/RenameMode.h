#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string_view>

#include "TavoriCore/JsonCoding.h"

namespace tavori {

// What saving does with a document. Kept apart from the plans that carry it out, so that the stored settings
// can name a mode without the file operations. The raw value is the Japanese display name, which is also the
// stored form.
enum class RenameMode { copy, move, renameInPlace };

inline constexpr std::array<RenameMode, 3> allRenameModes = {RenameMode::copy, RenameMode::move,
                                                             RenameMode::renameInPlace};

std::string_view rawValue(RenameMode mode);
std::optional<RenameMode> renameModeFromRawValue(std::string_view raw);
std::ostream& operator<<(std::ostream& os, RenameMode mode);

// Coded as its raw value; an unknown one fails to decode.
TAVORI_JSON_DECLARE(RenameMode);

}  // namespace tavori
