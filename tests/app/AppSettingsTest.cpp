#include "TavoriName/AppSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>

#include "TavoriName/Base64.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

class Folder {
  public:
    Folder() {
        std::string name = (fs::temp_directory_path() / "tavori-settings-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = name;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(folder)) result.insert(entry.path().filename().native());
    return result;
}

AppSettings customised() {
    AppSettings settings;
    settings.nameTemplate.templateText = "{type}_{date}";
    settings.nameTemplate.dateFormat = "yyyy-MM-dd";
    settings.nameTemplate.amountStyle = FileNameTemplate::AmountStyle::groupedYen;
    settings.nameTemplate.maxVendorLength = 12;
    settings.mode = RenamePlan::Mode::renameInPlace;
    settings.destinationBookmark = std::vector<std::uint8_t>{'/', 'h', 'o', 'm', 'e', '/', 0xff, 0x00, 0x82};
    settings.recipientName = "山田商店";
    settings.aliases.rules.push_back(
        {*Uuid::fromString("0CE28277-DE38-4A91-A0E0-829BC2D0793C"), "セブン", "セブンイレブン"});
    settings.aliases.stripCorporateSuffix = false;
    settings.writeIndexBook = false;
    settings.indexBookFileName = "帳簿.csv";
    return settings;
}

// The document a save of `settings` stores, read back from disk.
Json storedDocument(const AppSettings& settings) {
    Folder folder;
    UserDefaults defaults(folder / "defaults.json");
    EXPECT_TRUE(settings.save(defaults));
    return Json::parse(readFile(folder / "defaults.json")).at("settings.v1");
}

TEST(AppSettingsTest, NothingStoredGivesTheDefaults) {
    Folder folder;
    const AppSettings settings = AppSettings::load(UserDefaults(folder / "missing/defaults.json"));
    EXPECT_EQ(settings.nameTemplate.templateText, "{date}_{vendor}_{amount}");
    EXPECT_EQ(settings.nameTemplate.dateFormat, "yyyyMMdd");
    EXPECT_EQ(settings.nameTemplate.amountStyle, FileNameTemplate::AmountStyle::plain);
    EXPECT_EQ(settings.nameTemplate.maxVendorLength, 30);
    EXPECT_EQ(settings.mode, RenamePlan::Mode::copy);
    EXPECT_FALSE(settings.destinationBookmark);
    EXPECT_EQ(settings.recipientName, "");
    EXPECT_TRUE(settings.aliases.rules.empty());
    EXPECT_TRUE(settings.aliases.stripCorporateSuffix);
    EXPECT_TRUE(settings.writeIndexBook);
    EXPECT_EQ(settings.indexBookFileName, "索引簿.csv");
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST(AppSettingsTest, SavedSettingsLoadEqual) {
    Folder folder;
    UserDefaults defaults(folder / "tavori-name/defaults.json");
    for (const AppSettings& settings : {customised(), AppSettings{}}) {
        ASSERT_TRUE(settings.save(defaults));
        EXPECT_EQ(AppSettings::load(defaults), settings);
    }
}

TEST(AppSettingsTest, StoredDocumentHasTheDocumentedMembers) {
    const Json document = storedDocument(customised());
    std::vector<std::string> keys;
    for (const auto& [key, value] : document.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"template", "mode", "destinationBookmark", "recipientName",
                                              "aliases", "writeIndexBook", "indexBookFileName"}));
    EXPECT_EQ(document["mode"], "元の場所でリネーム");
    EXPECT_EQ(document["destinationBookmark"], "L2hvbWUv/wCC");
    EXPECT_EQ(document["template"]["amountStyle"], "12,345円");
    EXPECT_FALSE(storedDocument(AppSettings{}).contains("destinationBookmark"));
}

TEST(AppSettingsTest, DocumentWithoutBookmarkKeepsEverythingElse) {
    Folder folder;
    UserDefaults defaults(folder / "defaults.json");
    AppSettings settings = customised();
    ASSERT_TRUE(settings.save(defaults));
    Json store = Json::parse(readFile(folder / "defaults.json"));
    store["settings.v1"].erase("destinationBookmark");
    writeFile(folder / "defaults.json", store.dump());
    settings.destinationBookmark.reset();
    EXPECT_EQ(AppSettings::load(defaults), settings);
}

struct UnreadableCase {
    std::string name;
    std::function<std::string(Json store)> stored;  // the file's bytes, made from a valid store
};

void PrintTo(const UnreadableCase& c, std::ostream* os) {
    *os << c.name;
}

class UnreadableSettingsTest : public testing::TestWithParam<UnreadableCase> {};

TEST_P(UnreadableSettingsTest, LoadsTheCompleteDefaults) {
    Folder folder;
    UserDefaults defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    const std::string bytes = GetParam().stored(Json::parse(readFile(folder / "defaults.json")));
    writeFile(folder / "defaults.json", bytes);
    EXPECT_EQ(AppSettings::load(defaults), AppSettings{});
    EXPECT_EQ(readFile(folder / "defaults.json"), bytes) << "loading must leave the store alone";
}

std::function<std::string(Json)> withSettings(std::function<void(Json&)> change) {
    return [change](Json store) {
        change(store["settings.v1"]);
        return store.dump();
    };
}

INSTANTIATE_TEST_SUITE_P(
    Stores, UnreadableSettingsTest,
    testing::Values(
        UnreadableCase{"EmptyFile", [](Json) { return std::string(); }},
        UnreadableCase{"MalformedJson", [](Json store) { return store.dump().substr(0, 40); }},
        UnreadableCase{"NotAnObject", [](Json) { return std::string("[1, 2]"); }},
        UnreadableCase{"InvalidUtf8", [](Json) { return std::string("{\"settings.v1\": \"\xff\"}"); }},
        UnreadableCase{"NoSettingsMember", [](Json) { return std::string("{\"other\": 1}"); }},
        UnreadableCase{"SettingsAsText", withSettings([](Json& s) { s = s.dump(); })},
        UnreadableCase{"WriteIndexBookMissing", withSettings([](Json& s) { s.erase("writeIndexBook"); })},
        UnreadableCase{"UnknownMode", withSettings([](Json& s) { s["mode"] = "削除して保存"; })},
        UnreadableCase{"TemplateWithoutDateFormat",
                       withSettings([](Json& s) { s["template"].erase("dateFormat"); })},
        UnreadableCase{"VendorLengthAsFraction",
                       withSettings([](Json& s) { s["template"]["maxVendorLength"] = 12.5; })},
        UnreadableCase{"RecipientAsNumber", withSettings([](Json& s) { s["recipientName"] = 7; })},
        UnreadableCase{"WriteIndexBookAsNumber", withSettings([](Json& s) { s["writeIndexBook"] = 1; })},
        UnreadableCase{"BookmarkNotBase64", withSettings([](Json& s) { s["destinationBookmark"] = "a b"; })},
        UnreadableCase{"BookmarkAsNumber", withSettings([](Json& s) { s["destinationBookmark"] = 3; })},
        UnreadableCase{"AliasIdNotAUuid",
                       withSettings([](Json& s) { s["aliases"]["rules"][0]["id"] = "x"; })},
        UnreadableCase{"AliasesMissing", withSettings([](Json& s) { s.erase("aliases"); })}),
    [](const testing::TestParamInfo<UnreadableCase>& info) { return info.param.name; });

TEST(AppSettingsTest, SaveKeepsTheStoresOtherMembers) {
    Folder folder;
    writeFile(folder / "defaults.json", R"({"window.frame": [1, 2, 3], "settings.v1": {}, "zzz": "last"})");
    UserDefaults defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    const Json store = Json::parse(readFile(folder / "defaults.json"));
    EXPECT_EQ(store["window.frame"], Json::parse("[1, 2, 3]"));
    EXPECT_EQ(store["zzz"], "last");
    EXPECT_EQ(store.begin().key(), "window.frame");
    EXPECT_EQ(AppSettings::load(defaults), customised());
}

TEST(AppSettingsTest, SaveReplacesTheFileAtomically) {
    Folder folder;
    UserDefaults defaults(folder / "defaults.json");
    ASSERT_TRUE(AppSettings{}.save(defaults));
    ::chmod((folder / "defaults.json").c_str(), 0640);
    // A reader that opened the old file keeps reading the whole old file: it was replaced, not rewritten.
    std::ifstream reader(folder / "defaults.json", std::ios::binary);
    const std::string before = readFile(folder / "defaults.json");
    struct stat old {};
    ::stat((folder / "defaults.json").c_str(), &old);

    ASSERT_TRUE(customised().save(defaults));
    struct stat now {};
    ::stat((folder / "defaults.json").c_str(), &now);
    EXPECT_NE(now.st_ino, old.st_ino);
    EXPECT_EQ(now.st_mode & 0777, 0640u);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), std::istreambuf_iterator<char>()), before);
    EXPECT_EQ(names(folder.path()), (std::set<std::string>{"defaults.json"}));
}

TEST(AppSettingsTest, ANewStoreIsPrivate) {
    Folder folder;
    UserDefaults defaults(folder / "config/tavori-name/defaults.json");
    ASSERT_TRUE(AppSettings{}.save(defaults));
    struct stat info {};
    ::stat(defaults.file().c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AppSettingsTest, ACorruptStoreIsKeptAsideOnSave) {
    Folder folder;
    writeFile(folder / "defaults.json", "{\"half\": ");
    UserDefaults defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    EXPECT_EQ(readFile(folder / "defaults.json.unreadable"), "{\"half\": ");
    EXPECT_EQ(AppSettings::load(defaults), customised());
}

TEST(AppSettingsTest, ALinkedStoreStaysALink) {
    Folder folder;
    writeFile(folder / "dotfiles/defaults.json", "{\"other\": true}");
    fs::create_directories(folder / "config");
    fs::create_symlink(folder / "dotfiles/defaults.json", folder / "config/defaults.json");
    UserDefaults defaults(folder / "config/defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    EXPECT_TRUE(fs::is_symlink(folder / "config/defaults.json"));
    EXPECT_TRUE(Json::parse(readFile(folder / "dotfiles/defaults.json"))["other"]);
    EXPECT_EQ(AppSettings::load(defaults), customised());
}

TEST(AppSettingsTest, SaveThatCannotWriteKeepsTheOldValue) {
    Folder folder;
    writeFile(folder / "blocker", "a file where the folder should be");
    UserDefaults blocked(folder / "blocker/defaults.json");
    EXPECT_FALSE(customised().save(blocked));
    EXPECT_EQ(AppSettings::load(blocked), AppSettings{});

    UserDefaults defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    AppSettings notText = customised();
    notText.recipientName = "\xff\xfe";
    EXPECT_FALSE(notText.save(defaults));
    EXPECT_EQ(AppSettings::load(defaults), customised());
}

TEST(UserDefaultsTest, StandardLocation) {
    struct Row {
        const char* xdg;
        const char* home;
        fs::path expected;
    };
    const std::vector<Row> rows = {
        {"/x/config", "/home/u", "/x/config/tavori-name/defaults.json"},
        {nullptr, "/home/u", "/home/u/.config/tavori-name/defaults.json"},
        {"", "/home/u", "/home/u/.config/tavori-name/defaults.json"},
        {"relative/config", "/home/u", "/home/u/.config/tavori-name/defaults.json"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.xdg ? row.xdg : "(unset)");
        EXPECT_EQ(UserDefaults::locationFor(row.xdg, row.home), row.expected);
    }
}

TEST(AppSettingsTest, BookmarksNameFoldersByAbsolutePath) {
    Folder folder;
    const fs::path odd = folder / "caf\xe9";
    fs::create_directory(odd);
    const auto bookmark = AppSettings::bookmark(odd);
    EXPECT_EQ(std::string(bookmark.begin(), bookmark.end()), odd.native());
    EXPECT_EQ(AppSettings::resolveBookmark(bookmark), odd);

    const fs::path previous = fs::current_path();
    fs::current_path(folder.path());
    const auto relative = AppSettings::bookmark("caf\xe9");
    fs::current_path(previous);
    EXPECT_EQ(AppSettings::resolveBookmark(relative), odd);

    writeFile(folder / "file", "x");
    for (const std::string& bytes :
         {(folder / "gone").native(), (folder / "file").native(), std::string("rel")}) {
        SCOPED_TRACE(bytes);
        EXPECT_FALSE(AppSettings::resolveBookmark(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    }
}

TEST(Base64Test, EncodesAndDecodesStrictly) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\xff\xfe\x00", 3), "//4A"}};
    for (const auto& [bytes, text] : pairs) {
        SCOPED_TRACE(text);
        const std::vector<std::uint8_t> raw(bytes.begin(), bytes.end());
        EXPECT_EQ(Base64::encode(raw), text);
        EXPECT_EQ(Base64::decode(text), raw);
    }
    for (const char* bad : {"Zg", "Zg=", "Z===", "Zh==", "Zm9=v", "Zm 9", "Zg==Zg==", "Zm9\n"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(Base64::decode(bad));
    }
}

}  // namespace
}  // namespace tavori
