#include "TavoriName/ConfidenceDot.h"

#include <gtest/gtest.h>

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

TEST(ConfidenceDotTest, ColourAndTooltipPerLevel) {
    struct Case {
        Level level;
        QColor colour;
        const char* toolTip;
    };
    const Case cases[] = {
        {Level::high, QColor(0x34, 0xc7, 0x59), "確度: 高"},
        {Level::medium, QColor(0xff, 0xcc, 0x00), "確度: 中（確認をおすすめします）"},
        {Level::low, QColor(0xff, 0x95, 0x00), "確度: 低（確認してください）"},
        {Level::missing, QColor(0xff, 0x3b, 0x30), "検出できませんでした"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.toolTip);
        ConfidenceDot dot;
        dot.setState(c.level, false);
        EXPECT_EQ(dot.colour(), c.colour);
        EXPECT_EQ(dot.toolTip(), QString::fromUtf8(c.toolTip));
        EXPECT_EQ(dot.size(), QSize(9, 9));
    }
}

TEST(ConfidenceDotTest, AnEditedFieldIsBlueWhateverItsLevel) {
    for (const Level level : allConfidenceLevels) {
        ConfidenceDot dot;
        dot.setState(level, true);
        EXPECT_EQ(dot.colour(), QColor(0x0a, 0x84, 0xff)) << level;
        EXPECT_EQ(dot.toolTip(), QStringLiteral("手で修正済み")) << level;
    }
}

}  // namespace
}  // namespace tavori
