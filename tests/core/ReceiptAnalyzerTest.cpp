#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TavoriCore/ReceiptAnalyzer.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

struct Line {
    std::string text;
    double top;
    std::vector<std::string> alternatives = {};
};

RecognizedDocument document(const std::vector<Line>& lines) {
    RecognizedDocument doc;
    doc.source = RecognizedDocument::TextSource::ocr;
    for (const auto& l : lines) doc.lines.push_back(TextLine{l.text, l.top, 0.1, 0, 0.9, l.alternatives});
    return doc;
}

// The notes about one field; documents built for one field also yield stray candidates for the others.
std::vector<std::string> notesAbout(const ReceiptFields& fields, std::string_view label) {
    std::vector<std::string> out;
    for (const auto& n : fields.confidence.notes)
        if (n.starts_with(std::string(label) + ": ")) out.push_back(n);
    return out;
}

ReceiptFields analyzeText(std::string_view text, std::optional<std::string> recipient = std::nullopt) {
    AnalyzerOptions options;
    options.recipientName = std::move(recipient);
    return ReceiptAnalyzer::analyze(
        RecognizedDocument::fromPlainText(text, RecognizedDocument::TextSource::pdfTextLayer, 0), options);
}

TEST(ReceiptAnalyzer, EmptyDocumentGivesTheEmptyRecord) {
    const auto fields = ReceiptAnalyzer::analyze(RecognizedDocument{}, AnalyzerOptions{});
    EXPECT_EQ(fields, ReceiptFields{});
    EXPECT_FALSE(fields.isComplete());
}

TEST(ReceiptAnalyzer, DateLevelBoundaries) {
    // A spacer first line keeps the first-line bonus out; the top sets the position bonus.
    struct Case {
        const char* name;
        Line dateLine;
        Level expected;
    };
    const std::vector<Case> cases = {
        {"score 90: 50 + 40 (日付) + 0", {"日付 2024/01/15", 1.0}, Level::high},
        {"score 89: 45 + 40 + 4", {"日付 Jan 15, 2024", 0.78}, Level::medium},
        {"score 50: 50 + 0", {"2024/01/15", 1.0}, Level::medium},
        {"score 49: 45 + 4", {"Jan 15, 2024", 0.78}, Level::low},
    };
    for (const auto& c : cases) {
        const auto fields = ReceiptAnalyzer::analyze(document({{"-", 0.0}, c.dateLine}), AnalyzerOptions{});
        ASSERT_TRUE(fields.date) << c.name;
        EXPECT_EQ(*fields.date, (DateComponentsValue{2024, 1, 15})) << c.name;
        EXPECT_EQ(fields.confidence.date, c.expected) << c.name;
    }
}

TEST(ReceiptAnalyzer, CompetingDateWithinFifteenPoints) {
    // Best: 50 + 55 (発行日) = 105. A rival at 90 is within 15 points, one at 89 is not.
    struct Case {
        const char* name;
        Line rival;
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"rival 90", {"日付 2024/02/01", 1.0}, {"日付: 候補が複数あります（2024/01/15 / 2024/02/01）"}},
        {"rival 89", {"日付 Feb 1, 2024", 0.78}, {}},
    };
    for (const auto& c : cases) {
        const auto fields = ReceiptAnalyzer::analyze(
            document({{"-", 0.0}, {"発行日 2024/01/15", 1.0}, c.rival}), AnalyzerOptions{});
        EXPECT_EQ(notesAbout(fields, "日付"), c.notes) << c.name;
    }
    // A candidate with the same date is skipped over when looking for the competitor.
    const auto fields = ReceiptAnalyzer::analyze(
        document(
            {{"-", 0.0}, {"発行日 2024/01/15", 1.0}, {"日付 2024/01/15", 1.0}, {"日付 2024/02/01", 1.0}}),
        AnalyzerOptions{});
    EXPECT_EQ(notesAbout(fields, "日付"),
              (std::vector<std::string>{"日付: 候補が複数あります（2024/01/15 / 2024/02/01）"}));
}

TEST(ReceiptAnalyzer, TwoDigitYearNoteReplacesTheCandidateNote) {
    const auto fields = ReceiptAnalyzer::analyze(document({{"-", 0.0}, {"24/03/15", 0.5}, {"24/04/01", 0.5}}),
                                                 AnalyzerOptions{});
    ASSERT_TRUE(fields.date);
    EXPECT_EQ(*fields.date, (DateComponentsValue{2024, 3, 15}));
    EXPECT_EQ(notesAbout(fields, "日付"),
              (std::vector<std::string>{"日付: 年が2桁表記（24/03/15）なので西暦2024年と推定しました"}));
}

TEST(ReceiptAnalyzer, RepairedDateAsksForReview) {
    const auto fields =
        ReceiptAnalyzer::analyze(document({{"日付 2619/12/15 12:30", 0.1}}), AnalyzerOptions{});
    ASSERT_TRUE(fields.date);
    EXPECT_EQ(*fields.date, (DateComponentsValue{2019, 12, 15}));
    EXPECT_EQ(fields.confidence.date, FieldConfidence::Level::low);
    EXPECT_EQ(notesAbout(fields, "日付"),
              (std::vector<std::string>{"日付: 「2619/12/15」はありえない日付なので、6 や 9 を 0 "
                                        "と読み替えて 2019/12/15 としました"}));
}

TEST(ReceiptAnalyzer, AmountLevelsAndRunnerUp) {
    // お会計 ¥3,000 at the top: 85 + 25 + 10 = 120. 合計 ¥3,300 scores 70 + 35 + its position bonus.
    struct Case {
        const char* name;
        std::vector<Line> lines;
        std::int64_t amount;
        Level level;
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"runner-up 10 below competes",
         {{"お会計 ¥3,000", 0.0}, {"合計 ¥3,300", 0.5}},
         3000,
         Level::medium,
         {"金額: 別の候補 ¥3,300 もあります"}},
        {"runner-up 11 below does not",
         {{"お会計 ¥3,000", 0.0}, {"合計 ¥3,300", 0.4}},
         3000,
         Level::high,
         {}},
        {"runner-up with the same amount never counts",
         {{"お会計 ¥3,000", 0.0}, {"合計 ¥3,000", 0.5}},
         3000,
         Level::high,
         {}},
        {"score 90 without rival is high", {{"お会計 500", 0.5}}, 500, Level::high, {}},
        {"score 89 is medium", {{"お会計 500", 0.4}}, 500, Level::medium, {}},
        {"score 40 is medium", {{"金額 500", 0.0}}, 500, Level::medium, {}},
        {"a medium total that the cash less the change gives is high",
         {{"合計 1,378", 0.4}, {"お預り 2,000", 0.5}, {"お釣り 622", 0.6}},
         1378,
         Level::high,
         {}},
        {"a yen off stays medium",
         {{"合計 1,378", 0.4}, {"お預り 2,000", 0.5}, {"お釣り 621", 0.6}},
         1378,
         Level::medium,
         {"金額: 計算すると ¥1,379 になり、読み取った ¥1,378 と一桁違います"}},
        {"a certain total a digit off the cash less the change is not",
         {{"お会計 ¥56,369", 0.5}, {"お預り ¥62,000", 0.6}, {"お釣り ¥5,641", 0.7}},
         56369,
         Level::medium,
         {"金額: 計算すると ¥56,359 になり、読み取った ¥56,369 と一桁違います"}},
        {"nor one a digit off the subtotal and its tax",
         {{"小計 ¥51,236", 0.3}, {"消費税等 ¥5,123", 0.35}, {"お会計 ¥56,369", 0.5}},
         56369,
         Level::medium,
         {"金額: 計算すると ¥56,359 になり、読み取った ¥56,369 と一桁違います"}},
        {"figures further apart are other sums",
         {{"お会計 ¥56,369", 0.5}, {"お預り ¥62,000", 0.6}, {"お釣り ¥5,000", 0.7}},
         56369,
         Level::high,
         {}},
        {"a medium total that a subtotal and its 10 % tax give is high",
         {{"小計 20,080", 0.3}, {"消費税等(10%) 2,008", 0.35}, {"合計 22,088", 0.4}},
         22088,
         Level::high,
         {}},
        {"a tax off its rate proves nothing",
         {{"小計 20,080", 0.3}, {"消費税等(10%) 2,100", 0.35}, {"合計 22,180", 0.4}},
         22180,
         Level::medium,
         {}},
        {"cash and change above the total prove nothing",
         {{"お預り 2,000", 0.1}, {"お釣り 622", 0.2}, {"合計 1,378", 0.4}},
         1378,
         Level::medium,
         {}},
        {"unlabelled 35 is low with the heading note, then the rival",
         {{"¥3,000", 0.2}, {"¥2,000", 0.3}},
         3000,
         Level::low,
         {"金額: 「合計」などの見出しが見つからず、最も大きい金額を選びました",
          "金額: 別の候補 ¥2,000 もあります"}},
    };
    for (const auto& c : cases) {
        const auto fields = ReceiptAnalyzer::analyze(document(c.lines), AnalyzerOptions{});
        EXPECT_EQ(fields.amount, c.amount) << c.name;
        EXPECT_EQ(fields.confidence.amount, c.level) << c.name;
        EXPECT_EQ(fields.confidence.notes, c.notes) << c.name;
    }
}

TEST(ReceiptAnalyzer, AlternativeReadings) {
    struct Case {
        const char* name;
        std::vector<Line> lines;
        std::optional<DateComponentsValue> date;
        std::optional<std::int64_t> amount;
        std::vector<std::string> notes;
    };
    const std::vector<Case> cases = {
        {"amount read again",
         {{"-", 0.0}, {"合計 ¥1,000", 0.5, {"合計 ¥1,800"}}},
         std::nullopt,
         1800,
         {"金額: 拡大して読み直すと ¥1,800 でした（最初の読みは ¥1,000）"}},
        {"date read again",
         {{"-", 0.0}, {"発行日 2024/01/15", 0.5, {"発行日 2024/01/16"}}},
         DateComponentsValue{2024, 1, 16},
         2024,  // the year itself, the only number there
         {"日付: 拡大して読み直すと 2024/01/16 でした（最初の読みは 2024/01/15）"}},
        {"an impossible date read again overrules nothing",
         {{"-", 0.0}, {"2020年04月15日(水) 13:45", 0.5, {"2029年94月15日(水) 13:45"}}, {"合計 ¥500", 0.7}},
         DateComponentsValue{2020, 4, 15},
         500,
         {}},
        {"another date read again loses to a reading that confirms the first",
         {{"-", 0.0},
          {"2019年11月22日(金) 13:32", 0.5, {"2019年11月2日(金) 13:32", "2019年11月22日(金)13:32"}},
          {"合計 ¥500", 0.7}},
         DateComponentsValue{2019, 11, 22},
         500,
         {}},
        {"another row's second reading is no reading of the date",
         {{"-", 0.0}, {"20-10-26", 0.3}, {"4個 x 51,580", 0.4, {"41.06.20"}}, {"合計 ¥500", 0.7}},
         DateComponentsValue{2020, 10, 26},
         500,
         {}},
        {"alternatives never supply a missing amount or date",
         {{"-", 0.0}, {"ありがとうございました", 0.5, {"合計 ¥1,800 2024/01/16"}}},
         std::nullopt,
         std::nullopt,
         {}},
        // The phrase in the re-read lifts the bare ¥9,000 above the total in the combined ranking, but the
        // re-read itself holds no amount, so the first reading stands.
        {"a new winner must come from the re-read itself",
         {{"お会計 ¥1,000", 0.0, {"上記正に領収いたしました"}},
          {"ありがとうございました", 0.5},
          {"¥9,000", 0.9}},
         std::nullopt,
         1000,
         {}},
        {"a total the cash less the change bears out stands",
         {{"合計 ¥1,000", 0.5, {"合計 ¥1,800"}}, {"お預り ¥2,000", 0.6}, {"お釣り ¥1,000", 0.7}},
         std::nullopt,
         1000,
         {}},
        // The subtotal garbled on the page and read right the second time; with the tax it gives the
        // unlabelled total, which its label must not take over.
        {"a total the second reading's subtotal and the tax bear out stands",
         {{"小計 10,8682", 0.4, {"小計（￥10,362"}},
          {"消費税等(10%) ¥1,036", 0.45},
          {"=r ¥11,398", 0.5},
          {"電子マネー E11 398", 0.55}},
         std::nullopt,
         11398,
         {}},
        // The second reading of the date row is no row of its own: its 11 and the page pass's 6 are no
        // cash and change bearing out the stray 5.
        {"a row and its second reading are one row to the arithmetic",
         {{"RORESWNPERE5- 22.6", 0.1},
          {"an 2026-06-11 19:30:14", 0.2, {"日付2026-06-119:30:14"}},
          {"を 1.750", 0.4, {"駐車料金1,750"}}},
         DateComponentsValue{2026, 6, 11},
         1750,
         {"金額: 拡大して読み直すと ¥1,750 でした（最初の読みは ¥5）"}},
        // The total's row garbled, and read again with its label but not all its digits; the subtotal
        // and the 8 % tax add up to the amount paid by card.
        {"a total a subtotal and its tax bear out stands",
         {{"小計 ¥20,080", 0.3},
          {"消費税 ¥1,606", 0.4},
          {"a dF 21 6s", 0.5, {"合計 ¥86"}},
          {"クレジット ¥21,686", 0.6}},
         std::nullopt,
         21686,
         {}},
    };
    for (const auto& c : cases) {
        const auto fields = ReceiptAnalyzer::analyze(document(c.lines), AnalyzerOptions{});
        EXPECT_EQ(fields.date, c.date) << c.name;
        EXPECT_EQ(fields.amount, c.amount) << c.name;
        std::vector<std::string> rereadNotes;
        for (const auto& n : fields.confidence.notes)
            if (n.find("拡大して読み直すと") != std::string::npos) rereadNotes.push_back(n);
        EXPECT_EQ(rereadNotes, c.notes) << c.name;
        if (!c.notes.empty()) {
            EXPECT_EQ(c.amount ? fields.confidence.amount : fields.confidence.date, Level::low) << c.name;
        }
    }
}

// A yen amount has no decimals: on a Japanese page read by OCR, 「3.964」 is 3,964 with its comma blurred.
TEST(ReceiptAnalyzer, BlurredCommas) {
    const Line japanese{"ご来店ありがとうございました。またのお越しをお待ちしております", 0.9};
    struct Case {
        const char* name;
        std::vector<Line> lines;
        RecognizedDocument::TextSource source;
        std::optional<std::int64_t> amount;
        Level level;
    };
    using enum RecognizedDocument::TextSource;
    const std::vector<Case> cases = {
        {"a labelled total is taken, and never certain",
         {{"合計 ¥3.964", 0.5}, japanese},
         ocr,
         3964,
         Level::medium},
        {"the figure outranks smaller prices without a label",
         {{"ケーブル 1,500", 0.3}, {"an 3.964", 0.5}, japanese},
         ocr,
         3964,
         Level::low},
        // Cash in whole thousands under a total read without its comma; a price under a stray label.
        {"whole thousands are no comma",
         {{"an 3620", 0.5}, {"awo 4.000", 0.6}, japanese},
         ocr,
         3620,
         Level::low},
        {"a figure below a clean one is no comma",
         {{"緑茶 500ml ¥1.768 詳計", 0.3}, {"電子マネー ¥11,440", 0.6}, japanese},
         ocr,
         11440,
         Level::low},
        {"a text layer's point is what the document says",
         {{"合計 ¥3.964", 0.5}, japanese},
         pdfTextLayer,
         std::nullopt,
         Level::low},
        {"an English page keeps its point", {{"TOTAL 3.964", 0.5}}, ocr, std::nullopt, Level::low},
        {"two or four decimals are no comma", {{"合計 ¥3.96 12.3456", 0.5}, japanese}, ocr, 4, Level::high},
    };
    for (const auto& c : cases) {
        RecognizedDocument doc = document(c.lines);
        doc.source = c.source;
        const auto fields = ReceiptAnalyzer::analyze(doc, AnalyzerOptions{});
        EXPECT_EQ(fields.amount, c.amount) << c.name;
        if (!c.amount) continue;
        EXPECT_EQ(fields.confidence.amount, c.level) << c.name;
        const bool noted = !notesAbout(fields, "金額").empty() &&
                           notesAbout(fields, "金額").back().find("かすれたカンマ") != std::string::npos;
        EXPECT_EQ(noted, c.amount == 3964) << c.name;
    }
}

struct Realistic {
    const char* name;
    const char* text;
    std::optional<std::string> recipient;
    std::string expected;  // the coded record
};

// One of each kind of document end to end; each extractor's own cases are in its tests.
TEST(ReceiptAnalyzer, RealisticDocuments) {
    const std::vector<Realistic> cases = {
        {"convenience-store receipt",
         "ファミリーマート\n渋谷道玄坂店\n東京都渋谷区道玄坂2-10-7\n電話:03-1234-5678\n登録番号 "
         "T1234567890123\n"
         "2024年11月15日(金) 14:32\nレジ02 責No.123\nおにぎり 鮭 ¥150\n緑茶 500ml ¥140\n小計 ¥290\n消費税等 "
         "¥21\n"
         "合計 ¥290\nお預り ¥1,000\nお釣り ¥710",
         std::nullopt,
         R"({"date":{"year":2024,"month":11,"day":15},"vendor":"ファミリーマート","amount":290,"documentType":"領収書","registrationNumber":"T1234567890123","confidence":{"date":"medium","vendor":"high","amount":"high","notes":[]}})"},
        {"invoice with payment deadline and 御中",
         "請求書\n株式会社山田商事 御中\n請求日 "
         "2024年10月31日\n株式会社サンプルデザイン\n東京都港区芝公園1-1-1\n"
         "登録番号 T5010401067252\nご請求金額 ¥132,000\n品名 数量 単価 金額\nウェブサイト制作 1 120,000 "
         "120,000\n"
         "小計 120,000\n消費税(10%) 12,000\n合計 ¥132,000\nお支払期限 2024年11月30日\n振込先 みずほ銀行 "
         "渋谷支店 普通 1234567",
         std::nullopt,
         R"({"date":{"year":2024,"month":10,"day":31},"vendor":"サンプルデザイン","amount":132000,"documentType":"請求書","registrationNumber":"T5010401067252","confidence":{"date":"high","vendor":"high","amount":"high","notes":[],"taxBreakdown":"high"},"taxBreakdown":[{"rate":10,"taxableAmount":120000,"tax":12000,"taxIncluded":false}]})"},
        {"receipt with the amount above 上記正に領収いたしました",
         "領収書\n山田太郎 様\n¥5,500\n上記正に領収いたしました\n但し "
         "書籍代として\n2024年9月3日\n有限会社ブックス青葉",
         "山田太郎",
         R"({"date":{"year":2024,"month":9,"day":3},"vendor":"ブックス青葉","amount":5500,"documentType":"領収書","confidence":{"date":"medium","vendor":"medium","amount":"high","notes":[]}})"},
        {"the user's own name as 宛名 at the top, two-digit year",
         "山田太郎\n株式会社グリーン文具\n24/03/15 10:05\nノート ¥300\nボールペン ¥200\n合計 ¥500",
         "山田太郎",
         R"({"date":{"year":2024,"month":3,"day":15},"vendor":"グリーン文具","amount":500,"documentType":"その他","confidence":{"date":"low","vendor":"high","amount":"high","notes":["日付: 年が2桁表記（24/03/15）なので西暦2024年と推定しました"]}})"},
    };
    for (const auto& c : cases) {
        const nlohmann::ordered_json coded = analyzeText(c.text, c.recipient);
        EXPECT_EQ(coded.dump(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tavori
