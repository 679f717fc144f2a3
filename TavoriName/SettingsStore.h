#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavori {

// The per-user preferences store: one JSON object in a file, one member per key. Every change rewrites the
// whole file atomically and keeps the members it does not change, including those written by other versions.
class SettingsStore {
  public:
    explicit SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

    // $XDG_CONFIG_HOME/tavori-name/defaults.json, or ~/.config/tavori-name/defaults.json.
    static std::filesystem::path standardLocation();
    // The same from given values (null for an unset variable): a relative or empty XDG_CONFIG_HOME is
    // ignored.
    static std::filesystem::path locationFor(const char* xdgConfigHome, const char* home);

    const std::filesystem::path& file() const { return file_; }

    // The member stored under `key`; nothing when the file or the member is missing or unreadable.
    std::optional<nlohmann::ordered_json> value(std::string_view key) const;
    // Stores `value` under `key`. False when the file could not be written, which leaves the old file as it
    // was. A file that is not a JSON object is first kept aside as "<name>.unreadable".
    bool setValue(std::string_view key, const nlohmann::ordered_json& value);

  private:
    std::filesystem::path file_;
};

}  // namespace tavori
