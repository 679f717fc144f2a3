#include <limits>

#include <gtest/gtest.h>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/Unicode.h"

namespace tavori {
namespace {

using AmountStyle = FileNameTemplate::AmountStyle;

ReceiptFields sample(std::string vendor = "ABC商店") {
    ReceiptFields f;
    f.date = DateComponentsValue{2024, 3, 15};
    f.vendor = std::move(vendor);
    f.amount = 12345;
    return f;
}

std::string repeated(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(FileNameTemplate, Render) {
    struct Case {
        const char* name;
        std::string templateText;
        ReceiptFields fields;
        std::string expected;
        std::optional<std::int64_t> sequence = std::nullopt;
        std::string dateFormat = "yyyyMMdd";
    };
    ReceiptFields invoice = sample();
    invoice.documentType = DocumentType::invoice;
    ReceiptFields numbered = invoice;
    numbered.registrationNumber = "T1234567890123";
    const std::string standard = FileNameTemplate::standard().templateText;
    const std::vector<Case> cases = {
        {"standard", standard, sample(), "20240315_ABC商店_12345"},
        {"all missing", standard, ReceiptFields{}, "日付不明_取引先不明_金額不明"},
        {"unsafe vendor characters dropped", standard, sample("株式会社 ＡＢＣ/東京:本店"),
         "20240315_株式会社 ＡＢＣ東京本店_12345"},
        {"vendor cut to 30, trailing space trimmed", standard, sample(repeated("あ", 29) + " いいい"),
         "20240315_" + repeated("あ", 29) + "_12345"},
        {"outer full stops and spaces trimmed", "{date} .{vendor}. ", sample(), "20240315 .ABC商店"},
        {"type and number", "{date}_{type}_{regno}", numbered, "20240315_請求書_T1234567890123"},
        {"trailing underscore stays", "{date}_{type}_{regno}", invoice, "20240315_請求書_"},
        {"solidi in date format dropped", "{date}", sample(), "20240315", std::nullopt, "yyyy/MM/dd"},
        {"yy is not a token", "{date}", sample(), "yy-3-15", std::nullopt, "yy-M-d"},
        {"vendor named {type} replaced again", standard, sample("{type}"), "20240315_その他_12345"},
        {"vendor named {date} stays", standard, sample("{date}"), "20240315_{date}_12345"},
        {"vendor named {vendor} does not loop", "{vendor}{vendor}", sample("{vendor}"), "{vendor}{vendor}"},
        {"unknown braces kept", "{date}_{memo}", sample(), "20240315_{memo}"},
        {"sequence padded", "{seq}_{seq}", sample(), "007_007", 7},
        {"sequence wider than three digits", "{seq}_{date}{seq}", sample(), "1234_202403151234", 1234},
        {"no sequence renders nothing", "{date}{seq}", sample(), "20240315"},
        {"only full stops", "...", sample(), ""},
        {"right-to-left override cannot disguise an extension", standard, sample("\u202B\u202Egpj.exe"),
         "20240315_gpj.exe_12345"},
        {"controls in the template text removed", "{date}\u2067_\u0007{vendor}", sample(),
         "20240315_ABC商店"},
        {"long name cut to 200", repeated("名", 190) + "{vendor}", sample(repeated("前", 30)),
         repeated("名", 190) + repeated("前", 10)},
    };
    for (const auto& c : cases) {
        const FileNameTemplate t{c.templateText, c.dateFormat, AmountStyle::plain, 30};
        EXPECT_EQ(t.render(c.fields, c.sequence), c.expected) << c.name;
    }
}

TEST(FileNameTemplate, AmountStylesAndGrouping) {
    // Each style's raw value is its own output for 12345.
    for (AmountStyle style : allAmountStyles) {
        const FileNameTemplate t{"{amount}", "yyyyMMdd", style, 30};
        EXPECT_EQ(t.formatAmount(12345), rawValue(style));
        EXPECT_EQ(t.render(sample(), std::nullopt), rawValue(style));
    }
    EXPECT_EQ((FileNameTemplate{"", "", AmountStyle::groupedYen, 30}.formatAmount(-1234567)), "-1,234,567円");
    EXPECT_EQ((FileNameTemplate{"", "", AmountStyle::plain, 30}.formatAmount(-1200)), "-1200");

    const std::vector<std::pair<std::int64_t, const char*>> cases = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {-999, "-999"},
        {-1000, "-1,000"},
        {100000, "100,000"},
        {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
    };
    for (const auto& [amount, expected] : cases)
        EXPECT_EQ(FileNameTemplate::grouped(amount), expected) << amount;
}

TEST(FileNameTemplate, SanitizeComponent) {
    const std::vector<std::tuple<const char*, std::string, std::int64_t, std::string>> cases = {
        {"tab dropped, spaces trimmed", "  a\tb  ", 10, "ab"},
        {"reserved punctuation removed", "a/b\\c:d*e?f\"g<h>i|j", 30, "abcdefghij"},
        {"controls removed", std::string("a\0b\nc\rd\x01", 9) + "e", 30, "abcde"},
        {"full-width look-alikes kept", "Ａ／Ｂ：Ｃ？", 30, "Ａ／Ｂ：Ｃ？"},
        {"white-space runs become one space", "a \u3000 b\u00a0\u2028c", 30, "a b c"},
        {"run across a dropped character", "a \x01 b", 30, "a b"},
        {"full stops and spaces trimmed", ". .a. b. .", 30, "a. b"},
        {"dot-dot cannot climb", "../../etc", 30, "etc"},
        {"decomposed kana counts once", "か\u3099き\u3099く\u3099", 2, "か\u3099き\u3099"},
        {"flag counts once", "🇯🇵🇯🇵🇯🇵", 2, "🇯🇵🇯🇵"},
        {"full stop left by the cut trimmed", "ab.cdef", 3, "ab"},
        {"length below one", "abc", 0, ""},
        {"invalid UTF-8 repaired",
         "a\xff"
         "b",
         30, "a\uFFFDb"},
        {"embeddings and overrides removed", "a\u202Ab\u202Bc\u202Cd\u202De\u202Ef", 30, "abcdef"},
        {"isolates removed", "a\u2066b\u2067c\u2068d\u2069e", 30, "abcde"},
        {"marks and zero-width format characters removed", "a\u200Eb\u200Fc\u200Bd\u2060e\uFEFFf\u00ADg", 30,
         "abcdefg"},
        {"C1 controls and delete removed",
         "a\u0085b\u009Bc\x7F"
         "d",
         30, "abcd"},
        {"tag characters removed", "a\U000E0041\U000E007Fb", 30, "ab"},
        {"format characters do not count toward the length", "\u202E\u202E\u202Eabc", 3, "abc"},
        {"only format characters", "\u202E\u2066\u200B", 30, ""},
        {"trimming sees through removed characters", "\u202E. a .\u2069", 30, "a"},
    };
    for (const auto& [name, input, maxLength, expected] : cases)
        EXPECT_EQ(FileNameTemplate::sanitizeComponent(input, maxLength), expected) << name;
}

TEST(FileNameTemplate, UniqueNameNumbersCollisionsIgnoringCase) {
    struct Case {
        const char* name;
        std::string base;
        std::string ext;
        std::unordered_set<std::string> existing;
        std::string expected;
    };
    const std::string longExt(260, 'e');
    const std::vector<Case> cases = {
        {"free", "x", "pdf", {}, "x.pdf"},
        {"two taken", "x", "pdf", {"x.pdf", "x (2).pdf"}, "x (3).pdf"},
        {"gap in numbering", "x", "pdf", {"x.pdf", "x (3).pdf"}, "x (2).pdf"},
        {"case of base and ext kept", "Receipt", "PDF", {"receipt.pdf"}, "Receipt (2).PDF"},
        {"non-ASCII case", "Ärger", "pdf", {"ärger.pdf"}, "Ärger (2).pdf"},
        {"no extension", "x", "", {"x"}, "x (2)"},
        {"other extension does not collide", "x", "pdf", {"x.jpg", "x"}, "x.pdf"},
        {"invalid UTF-8 base kept byte-exact", "a\xff", "pdf", {"a\uFFFD.pdf"}, "a\xff (2).pdf"},
        {"extension too long for any base", "x", longExt, {}, "x." + longExt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileNameTemplate::uniqueName(c.base, c.ext, c.existing), c.expected) << c.name;
}

TEST(FileNameTemplate, UniqueNameFitsLinuxNameLimit) {
    const std::vector<std::tuple<const char*, std::string, std::string, int>> cases = {
        // name, base, extension, how many numbered names are taken already
        {"200 kanji", repeated("漢", 200), "pdf", 0},
        {"200 kanji, hundred taken", repeated("漢", 200), "jpeg", 100},
        {"200 kanji, no extension", repeated("漢", 200), "", 3},
        {"flags", repeated("🇯🇵", 200), "pdf", 1},
        {"decomposed kana", repeated("か\u3099", 120), "heic", 5},
        {"space at the cut", repeated("a", 250) + " " + repeated("b", 10), "pdf", 0},
        {"full stops at the cut", repeated("あ", 83) + "...xyz", "pdf", 0},
        {"one character longer than the room", "a" + repeated("\u0301", 300), "pdf", 2},
        {"exactly at the limit", repeated("a", 251), "pdf", 0},
    };
    for (const auto& [name, fullBase, ext, taken] : cases) {
        std::unordered_set<std::string> existing;
        for (int n = 0; n < taken; ++n)
            existing.insert(Unicode::lowercased(FileNameTemplate::uniqueName(fullBase, ext, existing)));
        const std::string result = FileNameTemplate::uniqueName(fullBase, ext, existing);
        EXPECT_EQ(existing.size(), static_cast<std::size_t>(taken)) << name;
        EXPECT_FALSE(existing.contains(Unicode::lowercased(result))) << name;
        EXPECT_LE(result.size(), FileNameTemplate::maxNameBytes) << name;
        EXPECT_EQ(Unicode::toValidUtf8(result), result) << name;

        const std::string tail =
            (taken ? " (" + std::to_string(taken + 1) + ")" : "") + (ext.empty() ? "" : "." + ext);
        ASSERT_TRUE(result.ends_with(tail)) << name << ": " << result;
        const std::string base = result.substr(0, result.size() - tail.size());
        ASSERT_FALSE(base.empty()) << name;
        EXPECT_TRUE(fullBase.starts_with(base)) << name;
        // The longest whole-character prefix that fits, less trailing spaces and full stops; only a single
        // character longer than the room left is split between scalars.
        std::string longest;
        for (const auto& character : Unicode::characters(fullBase)) {
            if (longest.size() + character.size() + tail.size() > FileNameTemplate::maxNameBytes) break;
            longest += character;
        }
        while (longest.ends_with(" ") || longest.ends_with(".")) longest.pop_back();
        if (!longest.empty()) {
            EXPECT_EQ(base, longest) << name;
        }
    }
}

TEST(FileNameTemplate, UniqueNameCutsInvalidUtf8AtItsOwnBoundaries) {
    const std::string base = repeated("\xe3\x81", 200);  // truncated kana sequences
    const std::string name = FileNameTemplate::uniqueName(base, "pdf", {});
    EXPECT_LE(name.size(), FileNameTemplate::maxNameBytes);
    ASSERT_TRUE(name.ends_with(".pdf"));
    EXPECT_TRUE(base.starts_with(name.substr(0, name.size() - 4)));
    EXPECT_EQ(name.size() % 2, 0u) << "cut inside a sequence";
}

TEST(FileNameTemplate, BaseNameOrFallback) {
    const std::vector<std::tuple<const char*, std::string, std::filesystem::path, std::string>> cases = {
        {"rendered wins", "20240315_ABC_1200", "/in/scan 1.pdf", "20240315_ABC_1200"},
        {"empty falls back to stem", "", "/in/a.b.jpeg", "a.b"},
        {"non-UTF-8 stem as valid text", "", "/in/a\xff\xfe.pdf", "a\uFFFD\uFFFD"},
        {"stem made safe", "", "/in/\u202Efdp.exe:x.pdf", "fdp.exex"},
        {"nothing left of the stem", "", "/in/\u202E...pdf", std::string(FileNameTemplate::untitledName)},
        {"hidden source name loses its leading full stop", "", "/in/.pdf", "pdf"},
    };
    for (const auto& [name, rendered, source, expected] : cases)
        EXPECT_EQ(FileNameTemplate::baseNameOrFallback(rendered, source), expected) << name;
}

}  // namespace
}  // namespace tavori
