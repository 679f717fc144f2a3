#include "TavoriName/AppSettings.h"

#include "TavoriCore/JsonCoding.h"
#include "TavoriName/Base64.h"

namespace tavori {

namespace fs = std::filesystem;

namespace {

template <class Json>
void encode(Json& j, const AppSettings& settings) {
    j = Json::object();
    j["template"] = settings.nameTemplate;
    j["mode"] = settings.mode;
    if (settings.destinationBookmark)
        j["destinationBookmark"] = Base64::encode(*settings.destinationBookmark);
    j["recipientName"] = settings.recipientName;
    j["aliases"] = settings.aliases;
    j["writeIndexBook"] = settings.writeIndexBook;
    j["indexBookFileName"] = settings.indexBookFileName;
}

template <class Json>
void decode(const Json& j, AppSettings& settings) {
    AppSettings decoded;
    decoded.nameTemplate = j.at("template").template get<FileNameTemplate>();
    decoded.mode = j.at("mode").template get<RenameMode>();
    if (const Json* bookmark = JsonCoding::optionalMember(j, "destinationBookmark")) {
        const auto bytes = Base64::decode(bookmark->template get<std::string>());
        if (!bytes) throw Json::type_error::create(302, "destinationBookmark is not Base64", bookmark);
        decoded.destinationBookmark = *bytes;
    }
    decoded.recipientName = j.at("recipientName").template get<std::string>();
    decoded.aliases = j.at("aliases").template get<VendorAliasDictionary>();
    decoded.writeIndexBook = j.at("writeIndexBook").template get<bool>();
    decoded.indexBookFileName = j.at("indexBookFileName").template get<std::string>();
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

std::vector<std::uint8_t> AppSettings::bookmark(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    if (ec) absolute = folder;
    const std::string& bytes = absolute.native();
    return {bytes.begin(), bytes.end()};
}

std::optional<fs::path> AppSettings::resolveBookmark(std::span<const std::uint8_t> bookmark) {
    if (bookmark.empty()) return std::nullopt;
    fs::path folder(std::string(bookmark.begin(), bookmark.end()));
    std::error_code ec;
    if (!folder.is_absolute() || !fs::is_directory(folder, ec)) return std::nullopt;
    return folder;
}

std::optional<fs::path> AppSettings::saveDestination() const {
    if (mode == RenameMode::renameInPlace || !destinationBookmark) return std::nullopt;
    return resolveBookmark(*destinationBookmark);
}

std::ostream& operator<<(std::ostream& os, const AppSettings& settings) {
    nlohmann::ordered_json j = settings;
    return os << j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

TAVORI_JSON_CODED_BY(AppSettings, encode, decode);

}  // namespace tavori
