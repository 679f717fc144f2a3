#include "TavoriName/ConfidenceDot.h"

#include <gtest/gtest.h>

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

// What each level says; its colour is the dot's own and drawn in the screenshots.
TEST(ConfidenceDotTest, TooltipPerLevelAndAnEditedFieldIsBlueWhateverItsLevel) {
    const std::pair<Level, const char*> cases[] = {
        {Level::high, "確度: 高"},
        {Level::medium, "確度: 中（確認をおすすめします）"},
        {Level::low, "確度: 低（確認してください）"},
        {Level::missing, "検出できませんでした"},
    };
    for (const auto& [level, toolTip] : cases) {
        ConfidenceDot dot;
        dot.setState(level, false);
        EXPECT_EQ(dot.toolTip(), QString::fromUtf8(toolTip));
        const QColor colour = dot.colour();
        dot.setState(level, true);
        EXPECT_EQ(dot.toolTip(), QStringLiteral("手で修正済み")) << level;
        EXPECT_EQ(dot.colour(), QColor(0x0a, 0x84, 0xff)) << level;
        EXPECT_NE(colour, dot.colour()) << level;
    }
}

}  // namespace
}  // namespace tavori
