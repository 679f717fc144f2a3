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

#include "TavoriCore/AnalyzerOptions.h"
#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/JournalExport.h"
#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/RenameMode.h"
#include "TavoriCore/VendorAliasDictionary.h"
#include "TavoriCore/VendorMemory.h"
#include "TavoriKit/saving/SavePlanner.h"
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
    // Vendor names the user gave, by registration and telephone number.
    VendorMemory vendors;
    // Columns for the amounts by tax rate after 備考 in new index books; off keeps the book's usual columns.
    bool indexBookTaxColumns = false;
    // The accounts journal exports book documents to.
    AccountTable journalAccounts;
    // The watched inbox folder, absolute; nothing while watching is off.
    std::optional<std::filesystem::path> inbox;
    // Documents from the inbox that ask for no review are saved as soon as they are read.
    bool autoSaveConfident = false;

    bool operator==(const AppSettings&) const = default;

    // The key of the settings document in the preferences store.
    static constexpr std::string_view storeKey = "settings.v1";

    // The stored settings, or the defaults when there are none or they cannot be read. Never fails.
    static AppSettings load(const SettingsStore& defaults);
    // Replaces the stored settings. False (and the old value kept) when they cannot be encoded or written;
    // nothing is reported to the user.
    bool save(SettingsStore& defaults) const;

    // What the settings contribute to each analysis.
    AnalyzerOptions analyzerOptions() const;

    // The destination when it still is a folder.
    std::optional<std::filesystem::path> destinationFolder() const;
    // Sets the destination to `folder`, made absolute.
    void setDestination(const std::filesystem::path& folder);
    // The inbox when it still is a folder.
    std::optional<std::filesystem::path> inboxFolder() const;
    // Sets the inbox to `folder`, made absolute.
    void setInbox(const std::filesystem::path& folder);
    // The folder a save puts documents and the index book in: the chosen destination, except when renaming in
    // place, where the documents stay in their own folders and the book goes beside the first of them. A
    // destination kept from an earlier copy or move is not used then: a book there would list files that are
    // not beside it.
    std::optional<std::filesystem::path> saveDestination() const;
    // What a save needs of these settings, the destination being saveDestination().
    SaveSettings saveSettings() const;
};

std::ostream& operator<<(std::ostream& os, const AppSettings& settings);

// Coded as {"template", "mode", "destination" (left out when absent), "recipientName", "aliases",
// "writeIndexBook", "indexBookFileName", "indexBookTaxColumns", "journalAccounts", "inbox" (left out when
// absent), "autoSaveConfident"}; decoding requires every member up to "indexBookFileName" but the
// destination: settings stored before the others load with them off. A path that is not UTF-8 is coded in
// Base64 as "destinationBytes" or "inboxBytes" instead; earlier versions stored every destination so, as
// "destinationBookmark".
// After them "vendors", the remembered vendors (an array; missing in earlier settings).
TAVORI_JSON_DECLARE(AppSettings);

}  // namespace tavori
