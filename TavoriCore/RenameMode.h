#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavori {

// What saving does with a document. Kept apart from the plans that carry it out, so that the stored settings
// can name a mode without the file operations. The raw value is the Japanese display name, which is also the
// stored form.
enum class RenameMode { copy, move, renameInPlace };

inline constexpr std::array<RenameMode, 3> allRenameModes = {RenameMode::copy, RenameMode::move,
                                                             RenameMode::renameInPlace};

inline std::string_view rawValue(RenameMode mode) {
    switch (mode) {
        case RenameMode::copy:
            return "コピーして保存";
        case RenameMode::move:
            return "移動して保存";
        case RenameMode::renameInPlace:
            return "元の場所でリネーム";
    }
    return "コピーして保存";
}

inline std::optional<RenameMode> renameModeFromRawValue(std::string_view raw) {
    for (RenameMode mode : allRenameModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

inline std::ostream& operator<<(std::ostream& os, RenameMode mode) {
    return os << rawValue(mode);
}

namespace detail {

template <class Json>
void decodeRenameMode(const Json& j, RenameMode& mode) {
    const auto raw = j.template get<std::string>();
    const auto decoded = renameModeFromRawValue(raw);
    if (!decoded) throw Json::type_error::create(302, "unknown rename mode \"" + raw + "\"", &j);
    mode = *decoded;
}

}  // namespace detail

// Coded as its raw value; an unknown one fails to decode.
inline void to_json(nlohmann::json& j, RenameMode mode) {
    j = std::string(rawValue(mode));
}
inline void from_json(const nlohmann::json& j, RenameMode& mode) {
    detail::decodeRenameMode(j, mode);
}
inline void to_json(nlohmann::ordered_json& j, RenameMode mode) {
    j = std::string(rawValue(mode));
}
inline void from_json(const nlohmann::ordered_json& j, RenameMode& mode) {
    detail::decodeRenameMode(j, mode);
}

}  // namespace tavori
