#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "KitFixtures.h"
#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/NeuralDetector.h"
#include "TavoriKit/reading/NeuralReader.h"

namespace tavori {
namespace {

// A page of the given size in points, at 3 pixels per point (12-point print about 36 px high).
Image pageImage(double width, double height, std::vector<SamplePdf::Line> lines) {
    test::PdfPageSpec page;
    page.width = width;
    page.height = height;
    page.lines = std::move(lines);
    return test::renderPage(page, 3.0);
}

// One row of print on a page just large enough for it.
Image rowImage(const std::string& text, double widthInPoints) {
    return pageImage(widthInPoints, 24, {{text, 6, 17, 12}});
}

NeuralReader* installedReader() {
    return NeuralReader::forThisThread(NeuralReader::modelFolder());
}

TEST(NeuralReader, ReadsRowsOfEveryWidthOneAfterAnother) {
    NeuralReader* reader = installedReader();
    if (reader == nullptr) GTEST_SKIP() << "the neural model is not installed (scripts/setup)";
    // Narrow, wide, narrow again and a row wider than the widest network: OpenCV 4.6 reads zeros when one
    // network is run at a second size, so each width must still read its own row.
    const struct {
        const char* text;
        double width;
        const char* digits;
    } rows[] = {
        {"合計 ¥1,980", 90, "1980"},
        {"2026年02月26日(木) 14:32", 170, "202602261432"},
        {"¥130", 50, "130"},
        {"2026/2/26 14:32 No.0123 レジ02 担当 0457 取引番号 88812", 360, "20262261432012302045788812"},
        // A label and its price far apart, as tills print them: the gap is cut before reading.
        {"合計                                                    ¥4,846", 400, "4846"},
    };
    for (const auto& row : rows) {
        const NeuralReading reading = reader->read(rowImage(row.text, row.width));
        EXPECT_EQ(TextNormalizer::digitsOnly(TextNormalizer::normalize(reading.text)), row.digits)
            << row.text << " read as " << reading.text;
        EXPECT_GT(reading.confidence, 0.5) << row.text;
    }
}

TEST(NeuralRows, SimplifiedLabelsBecomeJapanese) {
    const struct {
        const char* read;
        const char* japanese;
    } cases[] = {
        {"合计 ¥1,180", "合計 ¥1,180"},       {"现金 ¥2,000", "現金 ¥2,000"}, {"找零 ¥820", "お釣り ¥820"},
        {"实收 ¥2,000", "お預り ¥2,000"},     {"小计 ¥1,080", "小計 ¥1,080"}, {"预り ¥5,000", "預り ¥5,000"},
        {"2026年02月26日", "2026年02月26日"},
    };
    for (const auto& c : cases) EXPECT_EQ(NeuralRows::japaneseLabels(c.read), c.japanese);
}

TEST(NeuralRows, AFigureTheReadersDisagreeOnIsAnAlternativeAndALostDateARow) {
    NeuralReader* reader = installedReader();
    if (reader == nullptr) GTEST_SKIP() << "the neural model is not installed (scripts/setup)";
    const Image image =
        pageImage(200, 70, {{"合計 ¥1,180", 10, 24, 12}, {"2026年02月26日 14:32", 10, 54, 12}});
    // The page pass as Tesseract gets it wrong: a digit lost in the total, the date read as letters. The
    // last row, outside the picture, says what language the page is in.
    std::vector<TextLine> lines{{"合計 ¥180", 0.14, 0.05, 0, 0.9, {}},
                                {"2O26#O2A26B 14:32", 0.57, 0.05, 0, 0.6, {}},
                                {"ご来店ありがとうございました", 0.9, 0.05, 0, 0.9, {}}};
    const std::vector<std::optional<Rect>> boxes{Rect{0.04, 0.55, 0.45, 0.25}, Rect{0.04, 0.12, 0.75, 0.25}};
    const auto read = NeuralRows::read(lines, boxes, image, reader);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0].text, "合計 ¥180");  // the words stay the page pass's
    ASSERT_EQ(read[0].alternatives.size(), 1u);
    EXPECT_EQ(TextNormalizer::digitsOnly(read[0].alternatives[0]), "1180") << read[0].alternatives[0];
    EXPECT_EQ(TextNormalizer::digitsOnly(read[3].text), "202602261432") << read[3].text;

    const ReceiptFields fields =
        ReceiptAnalyzer::analyze(RecognizedDocument{read, RecognizedDocument::TextSource::ocr}, {});
    EXPECT_EQ(fields.amount, 1180);
    EXPECT_EQ(fields.confidence.amount, FieldConfidence::Level::low);  // the readers disagreed: review it
    ASSERT_TRUE(fields.date);
    EXPECT_EQ(fields.date->formatted("yyyy-MM-dd"), "2026-02-26");

    // An English page's date-like rows are not read: the rules do not take its day-first dates.
    lines.back().text = "THANK YOU PLEASE COME AGAIN";
    EXPECT_EQ(NeuralRows::read(lines, boxes, image, reader).size(), 3u);
}

TEST(NeuralRows, AReadingOfOtherFiguresOrOfTheSameDateMakesAnAlternative) {
    NeuralReader* reader = installedReader();
    if (reader == nullptr) GTEST_SKIP() << "the neural model is not installed (scripts/setup)";
    const std::vector<std::optional<Rect>> boxes{Rect{0.04, 0.2, 0.75, 0.6}};
    const struct {
        const char* printed;
        const char* pagePass;
        const char* alternative;  // what the alternative must hold; null for none
    } cases[] = {
        {"駐車料金 ¥1,750", "を 1.750", "1,750"},       // a point for the comma: 1.75 yen
        {"駐車料金 ¥1,750", "駐車料金 1750", nullptr},  // the same amount without its comma
        {"合計 ¥11,394", "合計 ¥11,39%4", "11,394"},    // the same digits, a stray mark among them
        // The page pass's date confirmed: a zoomed reading of another date is then outvoted.
        {"2026年02月26日 14:32", "2026年02月26日 14:32", "02月26日"},
    };
    for (const auto& c : cases) {
        const Image image = pageImage(200, 40, {{c.printed, 10, 24, 12}});
        const auto read = NeuralRows::read({{c.pagePass, 0.2, 0.05, 0, 0.8, {}}}, boxes, image, reader);
        ASSERT_EQ(read.size(), 1u) << c.printed;
        ASSERT_EQ(read.front().alternatives.size(), c.alternative ? 1u : 0u)
            << c.pagePass
            << (read.front().alternatives.empty() ? "" : " read " + read.front().alternatives[0]);
        if (c.alternative) {
            EXPECT_NE(read.front().alternatives[0].find(c.alternative), std::string::npos)
                << read.front().alternatives[0];
        }
    }
}

TEST(NeuralDetector, FindsTheRowsOfPagesOfEverySizeOneAfterAnother) {
    NeuralReader* reader = installedReader();
    if (reader == nullptr || !NeuralDetector::installed(NeuralReader::modelFolder()))
        GTEST_SKIP() << "the neural model is not installed (scripts/setup)";
    // OpenCV 4.6 returns nothing from a network run again at another size: the second and third pages
    // differ from the first, and from each other.
    const struct {
        double width, height;
        std::vector<SamplePdf::Line> lines;
        std::vector<std::string> digits;
    } pages[] = {
        {200,
         70,
         {{"2026年02月26日", 10, 24, 12}, {"TEL 03-1234-5678", 10, 54, 12}},
         {"20260226", "0312345678"}},
        {300,
         160,
         {{"No.0123", 10, 30, 12}, {"2025/11/03 09:15", 10, 80, 12}, {"¥4,846", 10, 130, 12}},
         {"0123", "202511030915", "4846"}},
        {200,
         70,
         {{"2026年02月26日", 10, 24, 12}, {"TEL 03-1234-5678", 10, 54, 12}},
         {"20260226", "0312345678"}},
    };
    for (const auto& page : pages) {
        const auto rows =
            NeuralDetector::rows(pageImage(page.width, page.height, page.lines), NeuralReader::modelFolder());
        std::vector<std::string> digits;
        for (const DetectedRow& row : rows)
            digits.push_back(
                TextNormalizer::digitsOnly(TextNormalizer::normalize(reader->read(row.image).text)));
        EXPECT_EQ(digits, page.digits) << page.width << " x " << page.height;
    }
}

TEST(NeuralRows, ADatelessPageInJapaneseIsSearchedWholeForItsDate) {
    NeuralReader* reader = installedReader();
    if (reader == nullptr || !NeuralDetector::installed(NeuralReader::modelFolder()))
        GTEST_SKIP() << "the neural model is not installed (scripts/setup)";
    const Image image = pageImage(200, 130,
                                  {{"ありがとうございました", 10, 24, 12},
                                   {"合計 ¥1,180", 10, 54, 12},
                                   {"お預り ¥2,000", 10, 84, 12},
                                   {"2026年02月26日 14:32", 10, 114, 12}});
    const std::string thanks = "ありがとうございました";
    const struct {
        const char* name;
        std::vector<std::string> pagePass;
        bool searched;
    } cases[] = {
        {"the date line lost", {thanks, "合計 ¥1,180", "お預り ¥2,000", "ーー 一一"}, true},
        {"a date already read", {thanks, "合計 ¥1,180", "お預り ¥2,000", "2026年02月26日 14:32"}, false},
        // An English scan: Tesseract makes a kanji or two of its smudges.
        {"nothing in Japanese", {"TOTAL 1,180", "CASH 2,000 一", "一一 合"}, false},
    };
    for (const auto& c : cases) {
        std::vector<TextLine> lines;
        for (const auto& text : c.pagePass)
            lines.push_back(TextLine{text, 0.1 * lines.size(), 0.05, 0, 0.9, {}});
        const auto read = NeuralRows::dateFromWholePage(lines, image, 0, reader, NeuralReader::modelFolder());
        ASSERT_EQ(read.size(), lines.size() + (c.searched ? 1 : 0)) << c.name;
        if (c.searched) {
            EXPECT_EQ(TextNormalizer::digitsOnly(read.back().text), "202602261432") << c.name;
        }
    }
    EXPECT_EQ(NeuralRows::dateFromWholePage({{"ーー 一一", 0, 0, 0, 0.5, {}}}, image, 0, reader, "/no-model")
                  .size(),
              1u);
}

TEST(NeuralRows, WithoutTheModelTheProgramStillReads) {
    const test::TempDir dir;
    EXPECT_EQ(NeuralReader::forThisThread(dir / "no-model"), nullptr);
    ASSERT_TRUE(test::receiptImage(3.0).writePng(dir / "receipt.png"));
    DocumentTextExtractor extractor;
    extractor.neuralModels = dir / "no-model";
    std::string all;
    for (const auto& line : extractor.extract(dir / "receipt.png").lines) all += line.text + '\n';
    EXPECT_NE(all.find("1,980"), std::string::npos) << all;
}

}  // namespace
}  // namespace tavori
