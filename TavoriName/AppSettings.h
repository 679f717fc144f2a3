#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/RenameMode.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriName/SettingsStore.h"

namespace tavori {

// Everything the user configures. The defaults are a first start's settings and what unreadable stored
// settings give way to, all at once.
struct AppSettings {
    FileNameTemplate nameTemplate = FileNameTemplate::standard();  // coded as "template"
    RenameMode mode = RenameMode::copy;
    // The chosen destination folder, absolute; nothing until a folder is chosen.
    std::optional<std::filesystem::path> destination;
    std::string recipientName;  // the user's own name, trade name or company name
    VendorAliasDictionary aliases;
    bool writeIndexBook = true;
    std::string indexBookFileName = "索引簿.csv";

    bool operator==(const AppSettings&) const = default;

    // The key of the settings document in the preferences store.
    static constexpr std::string_view storeKey = "settings.v1";

    // The stored settings, or the defaults when there are none or they cannot be read. Never fails.
    static AppSettings load(const SettingsStore& defaults);
    // Replaces the stored settings. False (and the old value kept) when they cannot be encoded or written;
    // nothing is reported to the user.
    bool save(SettingsStore& defaults) const;

    // The destination when it still is a folder.
    std::optional<std::filesystem::path> destinationFolder() const;
    // Sets the destination to `folder`, made absolute.
    void setDestination(const std::filesystem::path& folder);
    // The folder a save puts documents and the index book in: the chosen destination, except when renaming in
    // place, where the documents stay in their own folders and the book goes beside the first of them. A
    // destination kept from an earlier copy or move is not used then: a book there would list files that are
    // not beside it.
    std::optional<std::filesystem::path> saveDestination() const;
};

std::ostream& operator<<(std::ostream& os, const AppSettings& settings);

// Coded as {"template", "mode", "destination" (left out when absent), "recipientName", "aliases",
// "writeIndexBook", "indexBookFileName"}; decoding requires every member but the destination. A destination
// whose path is not UTF-8 is coded in Base64 as "destinationBytes" instead, which is also how earlier
// versions stored every destination (as "destinationBookmark").
TAVORI_JSON_DECLARE(AppSettings);

}  // namespace tavori
