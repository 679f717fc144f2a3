#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TavoriKit/reading/LineMerger.h"

namespace tavori {
namespace {

TextLine fragment(std::string text, double top, double left, double confidence = 1.0) {
    return TextLine{std::move(text), top, left, 0, confidence, {}};
}

std::vector<std::string> texts(const std::vector<TextLine>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
}

struct MergeCase {
    const char* name;
    std::vector<TextLine> lines;
    std::vector<double> heights;
    std::vector<std::string> expected;
};

TEST(LineMerger, GroupsRows) {
    const std::vector<MergeCase> cases = {
        {"no lines", {}, {}, {}},
        {"three fragments right to left join left to right",
         {fragment("¥1,980", 0.301, 0.8), fragment("税込", 0.300, 0.5), fragment("合計", 0.302, 0.1)},
         {0.02, 0.02, 0.02},
         {"合計 税込 ¥1,980"}},
        {"median 0.005 gives the 0.004 floor: 0.0045 apart splits",
         {fragment("a", 0.100, 0.0), fragment("b", 0.1045, 0.5)},
         {0.005, 0.005, 0.005},
         {"a", "b"}},
        {"median 0.005 gives the 0.004 floor: 0.0035 apart joins",
         {fragment("a", 0.100, 0.0), fragment("b", 0.1035, 0.5)},
         {0.005, 0.005, 0.005},
         {"a b"}},
        {"drifting row is compared with the group's first line",
         {fragment("first", 0.100, 0.0), fragment("second", 0.104, 0.3), fragment("third", 0.108, 0.6)},
         {0.00909, 0.00909, 0.00909},  // tolerance 0.005
         {"first second", "third"}},
        {"rows come out top to bottom whatever the input order",
         {fragment("bottom", 0.9, 0.0), fragment("top", 0.1, 0.0), fragment("middle", 0.5, 0.0)},
         {0.02},
         {"top", "middle", "bottom"}},
        {"even count takes the upper middle height",
         {fragment("a", 0.100, 0.0), fragment("b", 0.110, 0.5)},
         {0.001, 0.001, 0.02, 0.02},  // upper middle 0.02 → tolerance 0.011
         {"a b"}},
        {"equal tops and lefts keep recognition order",
         {fragment("x", 0.2, 0.1), fragment("y", 0.2, 0.1)},
         {0.02},
         {"x y"}},
    };
    for (const auto& c : cases) EXPECT_EQ(texts(LineMerger::merge(c.lines, c.heights)), c.expected) << c.name;
}

TEST(LineMerger, MergedLineTakesTopOfGroupLeftOfLeftmostAndMeanConfidence) {
    std::vector<TextLine> lines = {fragment("¥1,980", 0.300, 0.7, 1.0), fragment("合計", 0.303, 0.1, 0.5)};
    lines[0].alternatives = {"stale"};
    lines[1].page = 4;
    lines[0].page = 4;
    const auto merged = LineMerger::merge(lines, std::vector<double>{0.02, 0.02});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0], (TextLine{"合計 ¥1,980", 0.300, 0.1, 4, 0.75, {}}));
}

TEST(LineMerger, BoxesAreUnionsOfContainedObservations) {
    const std::vector<TextLine> lines = {fragment("合計 ¥1,980", 0.3, 0.1), fragment("ありがとう", 0.5, 0.1),
                                         fragment("1 個", 0.6, 0.1)};
    const std::vector<LineMerger::Observation> observations = {
        {Rect{0.1, 0.65, 0.2, 0.05}, "合計"},
        {Rect{0.6, 0.66, 0.3, 0.04}, "¥1,980"},
        {Rect{0.0, 0.0, 1.0, 1.0}, ""},      // no text: never matches
        {Rect{0.1, 0.35, 0.05, 0.03}, "1"},  // a lone digit also lands in the first line
    };
    const auto boxes = LineMerger::boxes(lines, observations);
    ASSERT_EQ(boxes.size(), 3u);
    ASSERT_TRUE(boxes[0].has_value());
    EXPECT_NEAR(boxes[0]->x, 0.1, 1e-12);
    EXPECT_NEAR(boxes[0]->y, 0.35, 1e-12);
    EXPECT_NEAR(boxes[0]->maxX(), 0.9, 1e-12);
    EXPECT_NEAR(boxes[0]->maxY(), 0.70, 1e-12);
    EXPECT_FALSE(boxes[1].has_value()) << "a line that contains no observation has no box";
    ASSERT_TRUE(boxes[2].has_value());
    EXPECT_EQ(*boxes[2], (Rect{0.1, 0.35, 0.05, 0.03}));
}

}  // namespace
}  // namespace tavori
