#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/TelephoneNumberExtractor.h"
#include "TavoriCore/VendorExtractor.h"
#include "TavoriCore/VendorMemory.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;
using Kind = VendorMemory::Kind;

TEST(TelephoneNumberExtractor, FindsLabelledJapaneseNumbersOnly) {
    struct Case {
        const char* text;
        std::vector<std::string> digits;
    };
    const std::vector<Case> cases = {
        {"TEL 03-1234-5678", {"0312345678"}},
        {"ＴＥＬ：０３（１２３４）５６７８", {"0312345678"}},
        {"電話番号 045-123-4567 FAX 045-123-4568", {"0451234567"}},
        {"TEL/FAX 0120-123-456", {"0120123456"}},
        {"☎ 090-1234-5678 (10:00~19:00)", {"09012345678"}},
        {"Tel.06 6123 4567", {"0661234567"}},
        {"FAX 03-1234-5678", {}},    // not a telephone to call
        {"03-1234-5678", {}},        // no label: may be anything
        {"Hotel 03-1234-5678", {}},  // a word ending in "tel" is no label
        {"TEL 1234-5678", {}},       // without the area code it identifies nothing
        {"TEL 03-1234-5678\nTEL 03-1234-5678", {"0312345678"}},  // once
    };
    for (const auto& c : cases) {
        std::vector<std::string> found;
        for (const auto& n : TelephoneNumberExtractor::extract(c.text)) found.push_back(n.digits);
        EXPECT_EQ(found, c.digits) << c.text;
    }
    EXPECT_EQ(TelephoneNumberExtractor::extract("TEL 03-1234-5678").front().printed, "03-1234-5678");
}

TEST(VendorMemory, RemembersByNumberAndTheLaterNameWins) {
    VendorMemory memory;
    EXPECT_FALSE(memory.remember(Kind::registrationNumber, "T123", "短い"));
    EXPECT_FALSE(memory.remember(Kind::telephone, "1234-5678", "市外局番なし"));
    EXPECT_FALSE(memory.remember(Kind::telephone, "03-1234-5678", ""));
    ASSERT_TRUE(memory.remember(Kind::registrationNumber, "Ｔ１２３４５６７８９０１２３", "みなと商店"));
    ASSERT_TRUE(memory.remember(Kind::telephone, "03(1234)5678", "さくら堂"));
    ASSERT_TRUE(memory.remember(Kind::registrationNumber, "T1234567890123", "みなと商店 本町"));
    ASSERT_EQ(memory.entries.size(), 2U);
    EXPECT_EQ(memory.entries.back(),
              (VendorMemory::Entry{Kind::registrationNumber, "T1234567890123", "みなと商店 本町"}));

    const nlohmann::json coded = memory;
    EXPECT_EQ(coded.at(0).at("kind"), "telephone");
    EXPECT_EQ(coded.get<VendorMemory>(), memory);
    EXPECT_THROW(
        nlohmann::json::parse(R"([{"kind":"telephone","number":"12","name":"x"}])").get<VendorMemory>(),
        nlohmann::json::exception);

    EXPECT_TRUE(memory.forget("03-1234-5678"));
    EXPECT_FALSE(memory.forget("03-1234-5678"));
    ASSERT_EQ(memory.entries.size(), 1U);
    EXPECT_TRUE(memory.forget("t1234567890123"));
    EXPECT_TRUE(memory.entries.empty());
}

ReceiptFields analyzeWith(const VendorMemory& memory, std::string_view text) {
    AnalyzerOptions options;
    options.vendors = memory;
    return ReceiptAnalyzer::analyze(
        RecognizedDocument::fromPlainText(text, RecognizedDocument::TextSource::ocr, 0), options);
}

TEST(VendorMemory, TheAnalysisTakesTheRememberedNameRegistrationNumberFirst) {
    const std::string both =
        "和菓子 本町店\n東京都中央区本町1-2-3\nTEL 03-1234-5678\n登録番号 T1234567890123\n"
        "2024年5月1日\n合計 ¥1,080\n";
    const std::string phoneOnly = "南口店\nTEL 03-1234-5678\n2024年5月1日\n合計 ¥1,080\n";
    VendorMemory byPhone;
    byPhone.remember(Kind::telephone, "0312345678", "さくら堂");
    VendorMemory both2 = byPhone;
    both2.remember(Kind::registrationNumber, "T1234567890123", "株式会社さくら");

    struct Case {
        const char* name;
        const VendorMemory& memory;
        const std::string& text;
        std::string vendor;
        std::string note;
    };
    const std::vector<Case> cases = {
        {"by telephone", byPhone, phoneOnly, "さくら堂", "以前の修正から: 電話番号 03-1234-5678"},
        {"both numbers, different names", both2, both, "株式会社さくら",
         "以前の修正から: 登録番号 T1234567890123"},
        {"telephone when the number is not remembered", byPhone, both, "さくら堂",
         "以前の修正から: 電話番号 03-1234-5678"},
    };
    for (const auto& c : cases) {
        const auto fields = analyzeWith(c.memory, c.text);
        EXPECT_EQ(fields.vendor, c.vendor) << c.name;
        EXPECT_EQ(fields.confidence.vendor, Level::high) << c.name;
        ASSERT_FALSE(fields.confidence.notes.empty()) << c.name;
        EXPECT_EQ(fields.confidence.notes.back(), c.note) << c.name;
    }
    // Nothing remembered for these numbers: the rules' name, without the note.
    VendorMemory other;
    other.remember(Kind::telephone, "0311112222", "別の店");
    const auto fields = analyzeWith(other, both);
    EXPECT_NE(fields.vendor, "別の店");
    EXPECT_TRUE(fields.confidence.notes.empty());
}

TEST(VendorExtractor, ABranchOrAKindOfGoodsWithABranchIsNoCertainVendor) {
    for (const char* name :
         {"本町店", "和菓子 本町店", "南口店", "品川通り店", "本店", "パン 駅前店", "新宿三丁目店"})
        EXPECT_TRUE(VendorExtractor::isBranchOnly(name)) << name;
    for (const char* name :
         {"みなと商店", "青葉書店", "ひまわり珈琲店", "みなと商店 本町店", "ローソン 渋谷店",
          "株式会社本町店", "ABC店", "ルミエール店", "丸井百貨店", "和菓子処 さくら", "店"})
        EXPECT_FALSE(VendorExtractor::isBranchOnly(name)) << name;

    // Well placed, with 店 and a registration number under it: still only medium.
    const auto fields =
        analyzeWith({}, "和菓子 本町店\n登録番号 T1234567890123\n2024年5月1日\n合計 ¥1,080\n");
    EXPECT_EQ(fields.vendor, "和菓子 本町店");
    EXPECT_EQ(fields.confidence.vendor, Level::medium);
    const auto named =
        analyzeWith({}, "みなと商店 本町店\n登録番号 T1234567890123\n2024年5月1日\n合計 ¥1,080\n");
    EXPECT_EQ(named.confidence.vendor, Level::high);
}

}  // namespace
}  // namespace tavori
