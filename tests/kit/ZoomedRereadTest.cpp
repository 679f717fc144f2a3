#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "KitFixtures.h"
#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/LineRecognizer.h"
#include "TavoriKit/reading/ZoomedReread.h"

namespace tavori {
namespace {

TEST(ZoomedReread, InterestingLines) {
    const struct {
        const char* text;
        bool interesting;
    } cases[] = {
        {"ありがとうございました", false},
        {"またのご来店をお待ちしております", false},
        {"おにぎり 2個", false},
        {"2024年3月15日", true},
        {"2024/03/15", true},
        {"24.3.15", true},
        {"令和6年", true},
        {"R6", true},
        {"合計", true},
        {"TOTAL", true},
        {"Amount due", true},
        {"¥150", true},
        {"$ 5", true},
        {"1,980", true},
        {"1980", false},
        {"12,34", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZoomedReread::interesting().matchesAnywhere(TextNormalizer::normalize(c.text)),
                  c.interesting)
            << c.text;
}

TEST(ZoomedReread, RowsWorthRereadingKeepDatesLabelsAndTheLargestPrices) {
    const std::vector<std::string> rows{
        "品名 金額",                    // 0: heading without digits
        "日付 2024-03-15 10:41",        // 1: a date
        "東京都品川区西五反田3-24-12",  // 2: an address, no date
        "コーヒー ¥350",                // 3: item
        "サンド ¥1,280",                // 4: item, the largest item
        "小計 ¥1,630",                  // 5: price row without a total's label
        "合計 ¥1,630",                  // 6: the total's label
        "お預り ¥2,000",                // 7: the largest amount on the page
        "令和6年3月15日",               // 8: an era date
        "Total Amount: $8.20",          // 9: an English total
        "合計点数 2",                   // 10: holds 合計 and a digit
    };
    const struct {
        int amountRows;
        std::vector<bool> expected;
    } cases[] = {
        {2, {false, true, false, false, false, true, true, true, true, true, true}},
        {0, {false, true, false, false, false, false, true, false, true, true, true}},
        {3, {false, true, false, false, true, true, true, true, true, true, true}},
        // Every row the pattern names, as before there was a choice; still none without digits.
        {-1, {false, true, true, true, true, true, true, true, true, true, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZoomedReread::rowsWorthRereading(rows, c.amountRows), c.expected) << c.amountRows;

    // Comma groups join into one amount; a number of another row cannot split them.
    const std::vector<std::string> grouped{"A ¥9,999", "B ¥12,000", "C 1,000,000円", "D ¥999"};
    EXPECT_EQ(ZoomedReread::rowsWorthRereading(grouped, 1), (std::vector<bool>{false, false, true, false}));
    EXPECT_TRUE(ZoomedReread::rowsWorthRereading({}, 2).empty());
    // A point before three last digits is a blurred comma, so the garbled total counts by its thousands;
    // two decimals stay decimals.
    // A zero before the thousands is a misread digit, whatever amount the row seems to hold.
    const std::vector<std::string> blurred{"an 3.964", "A ¥980",   "B ¥1,200",
                                           "C 12.50",  "D 1.0000", "a 計 ¥0,210"};
    EXPECT_EQ(ZoomedReread::rowsWorthRereading(blurred, 2),
              (std::vector<bool>{true, false, true, false, false, true}));
    // Every row of a chosen amount is read: the total's garbled label may sit on its second row.
    const std::vector<std::string> tied{"pit 4,846", "an 4,846", "nan 5,000", "Lo 154"};
    EXPECT_EQ(ZoomedReread::rowsWorthRereading(tied, 2), (std::vector<bool>{true, true, true, false}));
}

TEST(ZoomedReread, CropRectangles) {
    const struct {
        const char* name;
        int width, height;
        Rect box;
        std::optional<PixelRect> expected;
    } cases[] = {
        {"margins: 6 px + 8 % each side, half the height above and below", 1000, 1000,
         Rect{0.1, 0.5, 0.3, 0.02}, PixelRect{70, 470, 360, 40}},
        {"clamped at the top-left corner", 1000, 1000, Rect{0.0, 0.97, 0.2, 0.03}, PixelRect{0, 0, 244, 60}},
        {"cut at the right edge", 1000, 500, Rect{0.8, 0.1, 0.2, 0.1}, PixelRect{778, 375, 222, 100}},
        {"rounded outwards", 333, 333, Rect{0.1, 0.5, 0.3, 0.02}, PixelRect{19, 156, 129, 14}},
        {"3 px wide image leaves no crop", 3, 1000, Rect{0.0, 0.5, 1.0, 0.02}, std::nullopt},
        {"4 px high after the margins leaves no crop", 1000, 1000, Rect{0.1, 0.5, 0.3, 0.002}, std::nullopt},
        {"box outside the image", 1000, 1000, Rect{1.5, 0.5, 0.1, 0.02}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZoomedReread::cropRect(c.width, c.height, c.box), c.expected) << c.name;
}

TEST(ZoomedReread, MedianLineHeight) {
    const struct {
        const char* name;
        std::vector<std::optional<Rect>> boxes;
        double expected;
    } cases[] = {
        {"no boxes", {}, 0},
        {"only lines without boxes", {std::nullopt, std::nullopt}, 0},
        {"one tall row does not move the median",
         {Rect{0, 0, 1, 0.02}, Rect{0, 0, 1, 0.02}, Rect{0, 0, 1, 0.08}},
         20},
        {"missing boxes are left out", {Rect{0, 0, 1, 0.03}, std::nullopt, Rect{0, 0, 1, 0.03}}, 30},
        {"empty boxes are left out", {Rect{0, 0, 1, 0.0}, Rect{0, 0, 1, 0.04}}, 40},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ZoomedReread::medianLineHeight(c.boxes, 1000), c.expected) << c.name;
}

// Between half and four times; a line of no height (a broken box) gets the most, not a division by zero.
TEST(ZoomedReread, ZoomTowardsTheTargetHeight) {
    for (const auto& [lineHeight, expected] :
         {std::pair{20.0, 2.0}, {5.0, 4.0}, {200.0, 0.5}, {0.0, 4.0}, {-3.0, 4.0}})
        EXPECT_DOUBLE_EQ(ZoomedReread::zoomFactor(lineHeight, 40), expected) << lineHeight;
}

// Grey paper (200) with a dark line (rows 90–110) and a piece of the line above reaching into the crop.
Image paperWithLineAndNeighbour() {
    std::vector<std::uint8_t> bytes(400 * 200, 200);
    auto fill = [&](int x0, int y0, int x1, int y1, std::uint8_t v) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) bytes[static_cast<std::size_t>(y) * 400 + x] = v;
    };
    fill(110, 90, 290, 110, 20);  // the line itself
    fill(150, 60, 200, 84, 30);   // descenders of the line above, cut by the crop's top edge at row 80
    return Image::fromGrey(400, 200, bytes, 400);
}

TEST(ZoomedReread, CropIsCleanedScaledAndPaddedWithPaperGrey) {
    const Image page = paperWithLineAndNeighbour();
    const Rect box{100.0 / 400, 1.0 - 110.0 / 200, 200.0 / 400, 20.0 / 200};
    const Image crop = ZoomedReread::cropUpscaled(page, box, 40);
    ASSERT_FALSE(crop.empty());
    // Crop 78..322 × 80..120, zoomed 2× (20 px line to 40 px), padded by 10 on each side.
    EXPECT_EQ(crop.width(), 244 * 2 + 20);
    EXPECT_EQ(crop.height(), 40 * 2 + 20);
    EXPECT_EQ(crop.greyAt(0, 0), 200) << "padding is the paper's grey, not white";
    EXPECT_EQ(crop.greyAt(crop.width() - 1, crop.height() - 1), 200);
    EXPECT_NEAR(crop.greyAt(10 + (175 - 78) * 2, 10 + 1), 200, 2)
        << "the neighbour's ink at the edge is erased";
    EXPECT_LT(crop.greyAt(10 + (200 - 78) * 2, 10 + (100 - 80) * 2), 60) << "the line itself stays";
}

TEST(ZoomedReread, InkAtTheImagesOwnBorderIsKept) {
    std::vector<std::uint8_t> bytes(400 * 100, 210);
    for (int y = 0; y < 14; ++y)
        for (int x = 50; x < 200; ++x)
            bytes[static_cast<std::size_t>(y) * 400 + x] = 10;  // a line at the very top
    const Image page = Image::fromGrey(400, 100, bytes, 400);
    const Image crop =
        ZoomedReread::cropUpscaled(page, Rect{50.0 / 400, 1.0 - 14.0 / 100, 150.0 / 400, 0.14}, 28);
    ASSERT_FALSE(crop.empty());
    // Zoom 2 (14 px to 28 px), padding 7: the line's first row is at the crop's top.
    EXPECT_LT(crop.greyAt(7 + 100, 7 + 2), 60);
}

TEST(ZoomedReread, LargeTextIsShrunk) {
    const Image page = Image::blankGrey(1000, 1000, 230);
    const Image crop = ZoomedReread::cropUpscaled(page, Rect{0.1, 0.5, 0.5, 0.1}, 40);  // 100 px high line
    ASSERT_FALSE(crop.empty());
    EXPECT_EQ(crop.height(), 200 / 2 + 2 * 10);
}

// The receipt's recognised lines and boxes, and the index of the line holding the total.
struct Recognised {
    Image image;
    LineRecognizer::RecognizedLines lines;
    std::size_t total = 0;
};

Recognised recognisedReceipt() {
    Recognised r;
    r.image = test::receiptImage(2.5);
    r.lines = LineRecognizer::recognizeLines(r.image, 0);
    for (std::size_t i = 0; i < r.lines.lines.size(); ++i)
        if (TextNormalizer::normalize(r.lines.lines[i].text).find("1,980") != std::string::npos) r.total = i;
    return r;
}

TEST(ZoomedReread, AddsAReadingOnlyWhenItsFiguresDiffer) {
    const Recognised r = recognisedReceipt();
    ASSERT_TRUE(r.lines.boxes[r.total].has_value());
    const Rect totalBox = *r.lines.boxes[r.total];
    const struct {
        const char* name;
        std::string text;
        std::optional<Rect> box;
        bool gainsAlternative;
    } cases[] = {
        {"misread total gains the reread", "合計 ¥1,930", totalBox, true},
        {"same digits in another layout", "1980円", totalBox, false},
        {"same digits, a stray mark among them", "合計 ¥1,9%80", totalBox, true},
        {"same digits, a point for the comma", "合計 ¥1.980", totalBox, true},
        {"greeting is never reread", "ありがとうございました", totalBox, false},
        {"line without a box", "合計 ¥1,930", std::nullopt, false},
        {"box too small to crop", "合計 ¥1,930", Rect{0.5, 0.5, 0.0, 0.0005}, false},
    };
    std::vector<TextLine> lines;
    std::vector<std::optional<Rect>> boxes;
    for (const auto& c : cases) {
        lines.push_back(TextLine{c.text, 0.5, 0.1, 0, 0.9, {}});
        boxes.push_back(c.box);
    }
    lines.push_back(TextLine{"合計 ¥1,930", 0.6, 0.1, 0, 0.9, {}});  // more lines than boxes: left alone
    const auto refined = ZoomedReread::refine(lines, boxes, r.image, 0);
    ASSERT_EQ(refined.size(), lines.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(refined[i].text, lines[i].text) << cases[i].name << ": the text itself is never replaced";
        ASSERT_EQ(refined[i].alternatives.size(), cases[i].gainsAlternative ? 1u : 0u) << cases[i].name;
        if (cases[i].gainsAlternative) {
            EXPECT_EQ(TextNormalizer::digitsOnly(TextNormalizer::normalize(refined[i].alternatives[0])),
                      "1980")
                << cases[i].name << ": " << refined[i].alternatives[0];
        }
    }
    EXPECT_TRUE(refined.back().alternatives.empty());
}

TEST(ZoomedReread, TallRowsShrinkFurtherThanOrdinaryRereads) {
    EXPECT_DOUBLE_EQ(ZoomedReread::zoomFactor(128, 32), 0.5);
    EXPECT_DOUBLE_EQ(ZoomedReread::zoomFactor(128, 32, ZoomedReread::kTallRowMinimumZoom), 0.25);
    EXPECT_DOUBLE_EQ(ZoomedReread::zoomFactor(320, 32, ZoomedReread::kTallRowMinimumZoom), 0.2);
}

// A till receipt whose store name and total are printed three times the body size, as many are.
test::PdfPageSpec receiptWithLargePrint() {
    test::PdfPageSpec page;
    page.width = 260;
    page.height = 330;
    const double s = 10;
    page.lines = {
        {"みどり商店", 40, 40, 30},   {"2024年3月15日 14:05", 20, 74, s},
        {"おにぎり", 20, 96, s},      {"¥150", 190, 96, s},
        {"緑茶", 20, 116, s},         {"¥130", 190, 116, s},
        {"小計", 20, 136, s},         {"¥5,120", 180, 136, s},
        {"合計", 20, 180, 30},        {"¥5,120", 120, 180, 30},
        {"合計点数 6点", 20, 210, s}, {"お預り", 20, 232, s},
        {"¥10,000", 180, 232, s},     {"ありがとうございました", 20, 262, s},
    };
    return page;
}

TEST(ZoomedReread, ReceiptWithLargePrintReadsItsTotal) {
    const Image image = test::renderPage(receiptWithLargePrint(), 2.5);
    ASSERT_FALSE(image.empty());
    const auto recognized = LineRecognizer::recognizeLines(image, 0);
    OcrTuning tuning;
    tuning.tallRowFactor = 1.5;
    tuning.tallRows = OcrTuning::TallRows::replace;
    RecognizedDocument document;
    document.source = RecognizedDocument::TextSource::ocr;
    document.lines = ZoomedReread::refine(recognized.lines, recognized.boxes, image, 0, tuning);
    const ReceiptFields fields = ReceiptAnalyzer::analyze(document, {});
    EXPECT_EQ(fields.amount, 5120) << test::compactText([&] {
        std::vector<std::string> texts;
        for (const auto& line : document.lines) texts.push_back(line.text);
        return texts;
    }());
    EXPECT_EQ(fields.date, (DateComponentsValue{2024, 3, 15}));
}

TEST(ZoomedReread, CancelledRefineChangesNothing) {
    const Recognised r = recognisedReceipt();
    std::vector<TextLine> lines = {TextLine{"合計 ¥1,930", 0.5, 0.1, 0, 0.9, {}}};
    const std::vector<std::optional<Rect>> boxes = {r.lines.boxes[r.total]};
    const CancellationToken token;
    token.cancel();
    EXPECT_EQ(ZoomedReread::refine(lines, boxes, r.image, 0, {}, token), lines);
}

}  // namespace
}  // namespace tavori
