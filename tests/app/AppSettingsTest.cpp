#include "TavoriName/AppSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "TavoriName/Base64.h"
#include "tests/TestFiles.h"

namespace tavori {
namespace {

namespace fs = std::filesystem;
using namespace tavori::test;
using Json = nlohmann::ordered_json;

AppSettings customised() {
    AppSettings settings;
    settings.nameTemplate = {"{type}_{date}", "yyyy-MM-dd", FileNameTemplate::AmountStyle::groupedYen, 12};
    settings.mode = RenameMode::renameInPlace;
    settings.destination = "/home/帳簿";
    settings.recipientName = "山田商店";
    settings.aliases.rules.push_back(
        {*Uuid::fromString("0CE28277-DE38-4A91-A0E0-829BC2D0793C"), "セブン", "セブンイレブン"});
    settings.aliases.stripCorporateSuffix = false;
    settings.writeIndexBook = false;
    settings.indexBookFileName = "帳簿.csv";
    return settings;
}

TEST(AppSettingsTest, NothingStoredGivesTheDefaults) {
    TestFolder folder;
    const AppSettings settings = AppSettings::load(SettingsStore(folder / "missing/defaults.json"));
    EXPECT_EQ(settings.nameTemplate, (FileNameTemplate{"{date}_{vendor}_{amount}", "yyyyMMdd",
                                                       FileNameTemplate::AmountStyle::plain, 30}));
    EXPECT_EQ(settings.mode, RenameMode::copy);
    EXPECT_FALSE(settings.destination);
    EXPECT_EQ(settings.recipientName, "");
    EXPECT_EQ(settings.aliases, (VendorAliasDictionary{{}, true}));
    EXPECT_TRUE(settings.writeIndexBook);
    EXPECT_EQ(settings.indexBookFileName, "索引簿.csv");
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST(AppSettingsTest, SavedSettingsLoadEqualAndKeepTheStoresOtherMembers) {
    TestFolder folder;
    writeFile(folder / "defaults.json", R"({"window.frame": [1, 2], "settings.v1": {}, "zzz": "last"})");
    SettingsStore defaults(folder / "defaults.json");
    for (const AppSettings& settings : {customised(), AppSettings{}, customised()}) {
        ASSERT_TRUE(settings.save(defaults));
        EXPECT_EQ(AppSettings::load(defaults), settings);
    }
    const Json store = Json::parse(readFile(folder / "defaults.json"));
    EXPECT_EQ(store.dump(),
              R"({"window.frame":[1,2],"settings.v1":)" + store["settings.v1"].dump() + R"(,"zzz":"last"})");
    const Json& document = store["settings.v1"];
    std::vector<std::string> keys;
    for (const auto& [key, value] : document.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"template", "mode", "destination", "recipientName", "aliases",
                                              "writeIndexBook", "indexBookFileName"}));
    EXPECT_EQ(document["mode"], "rename");
    EXPECT_EQ(document["destination"], "/home/帳簿");

    ASSERT_TRUE(AppSettings{}.save(defaults));
    EXPECT_FALSE(Json::parse(readFile(folder / "defaults.json"))["settings.v1"].contains("destination"));
}

TEST(AppSettingsTest, DocumentWithoutBookmarkKeepsEverythingElse) {
    TestFolder folder;
    SettingsStore defaults(folder / "defaults.json");
    AppSettings settings = customised();
    ASSERT_TRUE(settings.save(defaults));
    Json store = Json::parse(readFile(folder / "defaults.json"));
    store["settings.v1"].erase("destination");
    writeFile(folder / "defaults.json", store.dump());
    settings.destination.reset();
    EXPECT_EQ(AppSettings::load(defaults), settings);
}

// Earlier versions stored the mode under its label and the destination as Base64 bytes; they load as the same
// settings, and the next save writes the current form. A path that is not UTF-8 keeps its bytes.
TEST(AppSettingsTest, EarlierFormsAndOddPathsLoadAsTheSameSettings) {
    TestFolder folder;
    SettingsStore defaults(folder / "defaults.json");
    AppSettings settings = customised();
    ASSERT_TRUE(settings.save(defaults));
    Json store = Json::parse(readFile(folder / "defaults.json"));
    store["settings.v1"]["mode"] = "元の場所でリネーム";
    store["settings.v1"].erase("destination");
    store["settings.v1"]["destinationBookmark"] = "L2hvbWUv5biz57C/";  // "/home/帳簿"
    writeFile(folder / "defaults.json", store.dump());
    EXPECT_EQ(AppSettings::load(defaults), settings);

    settings.destination = std::string("/home/\xff\x00\x82", 9);
    ASSERT_TRUE(settings.save(defaults));
    EXPECT_EQ(Json::parse(readFile(folder / "defaults.json"))["settings.v1"]["destinationBytes"],
              "L2hvbWUv/wCC");
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

TEST_P(UnreadableSettingsTest, LoadsTheCompleteDefaultsAndLeavesTheFile) {
    TestFolder folder;
    SettingsStore defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    const std::string bytes = GetParam().stored(Json::parse(readFile(folder / "defaults.json")));
    writeFile(folder / "defaults.json", bytes);
    EXPECT_EQ(AppSettings::load(defaults), AppSettings{});
    EXPECT_EQ(readFile(folder / "defaults.json"), bytes);
}

std::function<std::string(Json)> changed(std::function<void(Json&)> change) {
    return [change](Json store) {
        change(store["settings.v1"]);
        return store.dump();
    };
}

INSTANTIATE_TEST_SUITE_P(
    Stores, UnreadableSettingsTest,
    testing::Values(
        UnreadableCase{"EmptyFile", [](Json) { return std::string(); }},
        UnreadableCase{"CutShort", [](Json store) { return store.dump().substr(0, 40); }},
        UnreadableCase{"NotAnObject", [](Json) { return std::string("[1, 2]"); }},
        UnreadableCase{"InvalidUtf8", [](Json) { return std::string("{\"settings.v1\": \"\xff\"}"); }},
        UnreadableCase{"SettingsAsText", changed([](Json& s) { s = s.dump(); })},
        UnreadableCase{"WriteIndexBookMissing", changed([](Json& s) { s.erase("writeIndexBook"); })},
        UnreadableCase{"UnknownMode", changed([](Json& s) { s["mode"] = "削除して保存"; })},
        UnreadableCase{"TemplateWithoutDateFormat",
                       changed([](Json& s) { s["template"].erase("dateFormat"); })},
        UnreadableCase{"VendorLengthAsFraction",
                       changed([](Json& s) { s["template"]["maxVendorLength"] = 1.5; })},
        UnreadableCase{"WriteIndexBookAsNumber", changed([](Json& s) { s["writeIndexBook"] = 1; })},
        UnreadableCase{"BookmarkNotBase64",
                       changed([](Json& s) { s.erase("destination"), s["destinationBookmark"] = "a b"; })},
        UnreadableCase{"AliasIdNotAUuid", changed([](Json& s) { s["aliases"]["rules"][0]["id"] = "x"; })}),
    [](const testing::TestParamInfo<UnreadableCase>& info) { return info.param.name; });

TEST(AppSettingsTest, SaveReplacesTheFileAtomically) {
    TestFolder folder;
    SettingsStore defaults(folder / "tavori-name/defaults.json");
    ASSERT_TRUE(AppSettings{}.save(defaults));
    struct stat old {};
    ::stat(defaults.file().c_str(), &old);
    EXPECT_EQ(old.st_mode & 0777, 0600u);
    // A reader of the old file keeps reading all of it: the file was replaced, not rewritten in place.
    const std::string before = readFile(defaults.file());
    std::ifstream reader(defaults.file(), std::ios::binary);

    ASSERT_TRUE(customised().save(defaults));
    struct stat now {};
    ::stat(defaults.file().c_str(), &now);
    EXPECT_NE(now.st_ino, old.st_ino);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), before);
    EXPECT_EQ(names(folder / "tavori-name"), (std::set<std::string>{"defaults.json"}));
}

TEST(AppSettingsTest, ACorruptStoreIsKeptAsideOnSave) {
    TestFolder folder;
    writeFile(folder / "defaults.json", "{\"half\": ");
    SettingsStore defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    EXPECT_EQ(readFile(folder / "defaults.json.unreadable"), "{\"half\": ");
    EXPECT_EQ(AppSettings::load(defaults), customised());
}

TEST(AppSettingsTest, SaveThatCannotWriteKeepsTheOldValue) {
    TestFolder folder;
    writeFile(folder / "blocker", "a file where the folder should be");
    SettingsStore blocked(folder / "blocker/defaults.json");
    EXPECT_FALSE(customised().save(blocked));

    SettingsStore defaults(folder / "defaults.json");
    ASSERT_TRUE(customised().save(defaults));
    AppSettings notText = customised();
    notText.recipientName = "\xff\xfe";
    EXPECT_FALSE(notText.save(defaults));
    EXPECT_EQ(AppSettings::load(defaults), customised());
}

TEST(SettingsStoreTest, StandardLocation) {
    EXPECT_EQ(SettingsStore::locationFor("/x/config", "/home/u"), "/x/config/tavori-name/defaults.json");
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/config"})
        EXPECT_EQ(SettingsStore::locationFor(ignored, "/home/u"),
                  "/home/u/.config/tavori-name/defaults.json");
}

TEST(AppSettingsTest, DestinationsAreAbsoluteFoldersThatStillExist) {
    TestFolder folder;
    const fs::path odd = folder / "caf\xe9";
    fs::create_directory(odd);
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path());
    AppSettings settings;
    settings.setDestination("caf\xe9");
    fs::current_path(previous);
    EXPECT_EQ(settings.destination, odd);
    EXPECT_EQ(settings.destinationFolder(), odd);

    writeFile(folder / "file", "x");
    for (const fs::path& path : {folder / "gone", folder / "file", fs::path("rel")}) {
        settings.destination = path;
        EXPECT_FALSE(settings.destinationFolder()) << path;
    }
}

TEST(Base64Test, EncodesAndDecodesStrictly) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {std::string("\xff\xfe\x00", 3), "//4A"}};
    for (const auto& [bytes, text] : pairs) {
        EXPECT_EQ(Base64::encode(std::vector<std::uint8_t>(bytes.begin(), bytes.end())), text);
        EXPECT_EQ(Base64::decode(text), std::vector<std::uint8_t>(bytes.begin(), bytes.end())) << text;
    }
    for (const char* bad : {"Zg", "Zg=", "Z===", "Zh==", "Zg==Zg==", "Zm 9", "Zm9\n"})
        EXPECT_FALSE(Base64::decode(bad)) << bad;
}

}  // namespace
}  // namespace tavori
