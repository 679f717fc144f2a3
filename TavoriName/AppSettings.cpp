#include "TavoriName/AppSettings.h"

#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/Unicode.h"
#include "TavoriName/Base64.h"

namespace tavori {

namespace fs = std::filesystem;

namespace {

template <class Json>
void encode(Json& j, const AppSettings& settings) {
    j = Json::object();
    j["template"] = settings.nameTemplate;
    j["mode"] = settings.mode;
    if (settings.destination) {
        const std::string& path = settings.destination->native();
        if (Unicode::isValidUtf8(path))
            j["destination"] = path;
        else
            j["destinationBytes"] = Base64::encode(std::vector<std::uint8_t>(path.begin(), path.end()));
    }
    j["recipientName"] = settings.recipientName;
    j["aliases"] = settings.aliases;
    j["writeIndexBook"] = settings.writeIndexBook;
    j["indexBookFileName"] = settings.indexBookFileName;
    j["indexBookTaxColumns"] = settings.indexBookTaxColumns;
    j["journalAccounts"] = settings.journalAccounts;
    if (settings.inbox) {
        const std::string& path = settings.inbox->native();
        if (Unicode::isValidUtf8(path))
            j["inbox"] = path;
        else
            j["inboxBytes"] = Base64::encode(std::vector<std::uint8_t>(path.begin(), path.end()));
    }
    j["autoSaveConfident"] = settings.autoSaveConfident;
    j["vendors"] = settings.vendors;
}

template <class Json>
void decode(const Json& j, AppSettings& settings) {
    AppSettings decoded;
    decoded.nameTemplate = j.at("template").template get<FileNameTemplate>();
    decoded.mode = j.at("mode").template get<RenameMode>();
    if (const Json* path = JsonCoding::optionalMember(j, "destination")) {
        decoded.destination = fs::path(path->template get<std::string>());
    } else {
        for (const char* key : {"destinationBytes", "destinationBookmark"}) {
            const Json* encoded = JsonCoding::optionalMember(j, key);
            if (!encoded) continue;
            const auto bytes = Base64::decode(encoded->template get<std::string>());
            if (!bytes) throw Json::type_error::create(302, std::string(key) + " is not Base64", encoded);
            if (!bytes->empty()) decoded.destination = fs::path(std::string(bytes->begin(), bytes->end()));
            break;
        }
    }
    decoded.recipientName = j.at("recipientName").template get<std::string>();
    decoded.aliases = j.at("aliases").template get<VendorAliasDictionary>();
    decoded.writeIndexBook = j.at("writeIndexBook").template get<bool>();
    decoded.indexBookFileName = j.at("indexBookFileName").template get<std::string>();
    if (const Json* taxColumns = JsonCoding::optionalMember(j, "indexBookTaxColumns"))
        decoded.indexBookTaxColumns = taxColumns->template get<bool>();
    if (const Json* accounts = JsonCoding::optionalMember(j, "journalAccounts"))
        decoded.journalAccounts = accounts->template get<AccountTable>();
    if (const Json* path = JsonCoding::optionalMember(j, "inbox")) {
        decoded.inbox = fs::path(path->template get<std::string>());
    } else if (const Json* encoded = JsonCoding::optionalMember(j, "inboxBytes")) {
        const auto bytes = Base64::decode(encoded->template get<std::string>());
        if (!bytes) throw Json::type_error::create(302, "inboxBytes is not Base64", encoded);
        if (!bytes->empty()) decoded.inbox = fs::path(std::string(bytes->begin(), bytes->end()));
    }
    if (const Json* autoSave = JsonCoding::optionalMember(j, "autoSaveConfident"))
        decoded.autoSaveConfident = autoSave->template get<bool>();
    if (const Json* vendors = JsonCoding::optionalMember(j, "vendors"))
        decoded.vendors = vendors->template get<VendorMemory>();
    settings = std::move(decoded);
}

}  // namespace

AppSettings AppSettings::load(const SettingsStore& defaults) {
    const auto stored = defaults.value(storeKey);
    if (!stored) return {};
    try {
        return stored->get<AppSettings>();
    } catch (const std::exception&) {
        return {};
    }
}

bool AppSettings::save(SettingsStore& defaults) const {
    nlohmann::ordered_json document;
    try {
        document = *this;
        document.dump();  // fails here, not halfway through the store, on text that is not UTF-8
    } catch (const std::exception&) {
        return false;
    }
    return defaults.setValue(storeKey, document);
}

AnalyzerOptions AppSettings::analyzerOptions() const {
    AnalyzerOptions options;
    if (!recipientName.empty()) options.recipientName = recipientName;
    options.aliases = aliases;
    options.vendors = vendors;
    return options;
}

namespace {

// A stored folder, when it is absolute and still a folder.
std::optional<fs::path> stillAFolder(const std::optional<fs::path>& folder) {
    std::error_code ec;
    if (!folder || !folder->is_absolute() || !fs::is_directory(*folder, ec)) return std::nullopt;
    return folder;
}

// `folder` made absolute, as it is stored; nothing for an empty path.
std::optional<fs::path> storedFolder(const fs::path& folder) {
    if (folder.empty()) return std::nullopt;
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    return ec ? folder : absolute;
}

}  // namespace

std::optional<fs::path> AppSettings::destinationFolder() const {
    return stillAFolder(destination);
}

void AppSettings::setDestination(const fs::path& folder) {
    destination = storedFolder(folder);
}

std::optional<fs::path> AppSettings::inboxFolder() const {
    return stillAFolder(inbox);
}

void AppSettings::setInbox(const fs::path& folder) {
    inbox = storedFolder(folder);
}

std::optional<fs::path> AppSettings::saveDestination() const {
    if (mode == RenameMode::renameInPlace) return std::nullopt;
    return destinationFolder();
}

SaveSettings AppSettings::saveSettings() const {
    SaveSettings saveSettings;
    saveSettings.nameTemplate = nameTemplate;
    saveSettings.mode = mode;
    saveSettings.destination = saveDestination();
    saveSettings.writeIndexBook = writeIndexBook;
    saveSettings.indexBookFileName = indexBookFileName;
    saveSettings.indexBookTaxColumns = indexBookTaxColumns;
    return saveSettings;
}

std::ostream& operator<<(std::ostream& os, const AppSettings& settings) {
    nlohmann::ordered_json j = settings;
    return os << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

TAVORI_JSON_CODED_BY(AppSettings, encode, decode);

}  // namespace tavori
