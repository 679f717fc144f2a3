#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "TavoriCore/RecognizedDocument.h"
#include "TavoriCore/TextNormalizer.h"

namespace tavori {
namespace {

TextLine line(std::string text, double top, double left, std::int64_t page = 0) {
    return TextLine{std::move(text), top, left, page, 1.0, {}};
}

std::vector<std::string> texts(const std::vector<TextLine>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
}

struct OrderCase {
    const char* name;
    std::vector<TextLine> input;
    std::vector<std::string> expected;
};

TEST(SortedLines, ReadingOrder) {
    const std::vector<OrderCase> cases = {
        {"same row within tolerance sorts by left",
         {line("right", 0.100, 0.5), line("left", 0.103, 0.1)},
         {"left", "right"}},
        {"tolerance edge 0.004 is still one row",
         {line("right", 0.100, 0.5), line("left", 0.104, 0.1)},
         {"left", "right"}},
        {"beyond tolerance sorts by top",
         {line("upper", 0.100, 0.9), line("lower", 0.105, 0.1)},
         {"upper", "lower"}},
        {"beyond tolerance, input reversed",
         {line("lower", 0.105, 0.1), line("upper", 0.100, 0.9)},
         {"upper", "lower"}},
        {"page 1 top 0 after every page 0 line",
         {line("p1", 0.0, 0.0, 1), line("p0 bottom", 0.99, 0.9, 0), line("p0 top", 0.01, 0.0, 0)},
         {"p0 top", "p0 bottom", "p1"}},
        {"ties keep input order",
         {line("a", 0.2, 0.3), line("b", 0.2, 0.3), line("c", 0.2, 0.3)},
         {"a", "b", "c"}},
        {"empty", {}, {}},
    };
    for (const auto& c : cases) {
        RecognizedDocument doc{c.input, RecognizedDocument::TextSource::ocr};
        EXPECT_EQ(texts(doc.sortedLines()), c.expected) << c.name;
        EXPECT_EQ(doc.lines, c.input) << c.name << ": sortedLines must leave lines untouched";
    }
}

TEST(SortedLines, NonTransitiveRowsTerminateAndKeepEveryLine) {
    // Tops 0.000, 0.003, 0.006 chain through the tolerance into a cycle of the test.
    std::vector<TextLine> input;
    for (int i = 0; i < 300; ++i)
        input.push_back(line("l" + std::to_string(i), 0.003 * (i % 7), 1.0 - 0.001 * ((i * 37) % 101)));
    input.push_back(line("nan", std::nan(""), 0.5));
    RecognizedDocument doc{input, RecognizedDocument::TextSource::ocr};
    auto sorted = texts(doc.sortedLines());
    auto original = texts(input);
    std::sort(sorted.begin(), sorted.end());
    std::sort(original.begin(), original.end());
    EXPECT_EQ(sorted, original);
}

TEST(FromPlainText, SplitsTrimsAndPlaces) {
    auto doc =
        RecognizedDocument::fromPlainText("  A \n\n B\r\n", RecognizedDocument::TextSource::pdfTextLayer, 2);
    ASSERT_EQ(doc.lines.size(), 2u);
    EXPECT_EQ(doc.lines[0], (TextLine{"A", 0.0, 0, 2, 1.0, {}}));
    EXPECT_EQ(doc.lines[1], (TextLine{"B", 0.5, 0, 2, 1.0, {}}));
    EXPECT_EQ(doc.source, RecognizedDocument::TextSource::pdfTextLayer);
    // Blank gives no lines; trimming keeps other spaces.
    EXPECT_TRUE(RecognizedDocument::fromPlainText("", RecognizedDocument::TextSource::ocr, 0).lines.empty());
    EXPECT_TRUE(RecognizedDocument::fromPlainText(" \t\u3000\n \n", RecognizedDocument::TextSource::ocr, 0)
                    .lines.empty());
    // The zero-width space is not a space separator, so it stays.
    doc = RecognizedDocument::fromPlainText("\u00a0x\u200b", RecognizedDocument::TextSource::ocr, 0);
    ASSERT_EQ(doc.lines.size(), 1u);
    EXPECT_EQ(doc.lines[0].text, "x\u200b");
}

TEST(FromPlainText, EveryNewlineCharacterSeparates) {
    const std::vector<std::string> separators = {"\n",   "\r",     "\v",     "\f",
                                                 "\r\n", "\u0085", "\u2028", "\u2029"};
    for (const auto& sep : separators) {
        auto doc = RecognizedDocument::fromPlainText("a" + sep + "b" + sep + "c",
                                                     RecognizedDocument::TextSource::ocr, 0);
        EXPECT_EQ(texts(doc.lines), (std::vector<std::string>{"a", "b", "c"}))
            << "separator bytes " << sep.size();
        if (doc.lines.size() == 3) {
            EXPECT_DOUBLE_EQ(doc.lines[1].top, 1.0 / 3.0);
        }
    }
}

struct Conversion {
    std::string input;
    std::string expected;
};

TEST(TextNormalizer, Normalize) {
    const std::vector<Conversion> cases = {
        {"\u3000ＡＢＣ\t\tＤ\u3000", "ABC D"},
        {"￥１，２００", "¥1,200"},
        {"\\3,000", "¥3,000"},
        {"＼500", "¥500"},
        {"10:00〜18:00", "10:00~18:00"},
        {"10:00～18:00", "10:00~18:00"},
        {"A―B", "A-B"},
        {"コーヒー", "コーヒー"},
        {"ｺｰﾋｰ", "ｺｰﾋｰ"},
        {"a‐b−c", "a‐b−c"},
        {"line1  \n  line2", "line1 \n line2"},
        {"", ""},
        {"\u00A0 x \u2003", "x"},
        {"\u3000", ""},
        {"\xff\xfe"
         "abc",
         "\uFFFD\uFFFD"
         "abc"},
        {"\xe3\x81", "\uFFFD"},
        {"\\\\\\", "¥¥¥"},  // output longer than the input
        {"\xff\xff\xff", "\uFFFD\uFFFD\uFFFD"},
        {"\uFFFD ok", "\uFFFD ok"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextNormalizer::normalize(c.input), c.expected) << "input: " << c.input;
}

TEST(TextNormalizer, RepairAndDigits) {
    const std::vector<Conversion> repairs = {
        {"1O,OOO", "10,000"}, {"l2S", "125"}, {"sb", "sb"}, {"IoB", "108"}};
    for (const auto& c : repairs)
        EXPECT_EQ(TextNormalizer::repairNumericToken(c.input), c.expected) << c.input;
    const std::vector<Conversion> digits = {{"T１２3-4", "34"}, {"", ""}, {"¥1,980円", "1980"}};
    for (const auto& c : digits) EXPECT_EQ(TextNormalizer::digitsOnly(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace tavori
