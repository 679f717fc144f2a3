#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "TavoriCore/RenameMode.h"

namespace tavori {

// One document to save: which file, into which folder, under which new base name, and how.
struct RenamePlan {
    using Mode = RenameMode;

    std::filesystem::path source;
    std::filesystem::path destinationDirectory;  // ignored for renameInPlace
    std::string baseName;                        // without extension, as the file-name template renders it
    Mode mode = Mode::copy;

    bool operator==(const RenamePlan&) const = default;
};

// Where one plan's file ended up (for a copy: where the copy is).
struct RenameResult {
    std::filesystem::path source;
    std::filesystem::path destination;

    bool operator==(const RenameResult&) const = default;
};

std::ostream& operator<<(std::ostream& os, const RenamePlan& plan);
std::ostream& operator<<(std::ostream& os, const RenameResult& result);

}  // namespace tavori
