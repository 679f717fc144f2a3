#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavori {

// One document to save: which file, into which folder, under which new base name, and how.
struct RenamePlan {
    // The raw value is the Japanese display name, which is also the stored form.
    enum class Mode { copy, move, renameInPlace };

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

// The mode's coding is kept in this header so that the settings can store a mode without linking the Kit.
inline constexpr std::array<RenamePlan::Mode, 3> allRenamePlanModes = {
    RenamePlan::Mode::copy, RenamePlan::Mode::move, RenamePlan::Mode::renameInPlace};

inline std::string_view rawValue(RenamePlan::Mode mode) {
    switch (mode) {
        case RenamePlan::Mode::copy:
            return "コピーして保存";
        case RenamePlan::Mode::move:
            return "移動して保存";
        case RenamePlan::Mode::renameInPlace:
            return "元の場所でリネーム";
    }
    return "コピーして保存";
}

inline std::optional<RenamePlan::Mode> renamePlanModeFromRawValue(std::string_view raw) {
    for (RenamePlan::Mode mode : allRenamePlanModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

inline std::ostream& operator<<(std::ostream& os, RenamePlan::Mode mode) {
    return os << rawValue(mode);
}

namespace detail {

template <class Json>
void decodeRenamePlanMode(const Json& j, RenamePlan::Mode& mode) {
    const auto raw = j.template get<std::string>();
    const auto decoded = renamePlanModeFromRawValue(raw);
    if (!decoded) throw Json::type_error::create(302, "unknown rename mode \"" + raw + "\"", &j);
    mode = *decoded;
}

}  // namespace detail

// Coded as its raw value; an unknown one fails to decode.
inline void to_json(nlohmann::json& j, RenamePlan::Mode mode) {
    j = std::string(rawValue(mode));
}
inline void from_json(const nlohmann::json& j, RenamePlan::Mode& mode) {
    detail::decodeRenamePlanMode(j, mode);
}
inline void to_json(nlohmann::ordered_json& j, RenamePlan::Mode mode) {
    j = std::string(rawValue(mode));
}
inline void from_json(const nlohmann::ordered_json& j, RenamePlan::Mode& mode) {
    detail::decodeRenamePlanMode(j, mode);
}

std::ostream& operator<<(std::ostream& os, const RenamePlan& plan);
std::ostream& operator<<(std::ostream& os, const RenameResult& result);

}  // namespace tavori
