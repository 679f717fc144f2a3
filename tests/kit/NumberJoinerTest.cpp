#include <gtest/gtest.h>

#include "TavoriKit/reading/NumberJoiner.h"

namespace tavori {
namespace {

TEST(NumberJoiner, JoinsOnlyNumberShapes) {
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"合計 ¥1, 980", "合計 ¥1,980"},
        {"合計 ¥1 ,980", "合計 ¥1,980"},
        {"合計 ¥1 , 980", "合計 ¥1,980"},
        {"¥ 1,980", "¥1,980"},
        {"￥　500", "￥500"},
        {"TOTAL RM 80. 90", "TOTAL RM 80.90"},
        {"12, 345, 678円", "12,345,678円"},
        {"１， ９８０", "１，９８０"},
        {"2 個 300", "2 個 300"},          // two numbers, not one
        {"1, 2, 3", "1, 2, 3"},            // a list: groups are not three digits
        {"1, 9800", "1, 9800"},            // four digits after the comma
        {"No. 12", "No. 12"},              // no digit before the point
        {"合計  ¥1,980", "合計  ¥1,980"},  // spaces outside numbers stay
        {"合計 \\1.180", "合計 \\1,180"},  // a yen amount has no decimals: the point was a comma
        {"￥12.345.678", "￥12,345,678"},
        {"¥1.5 ¥1.1800 $1.180", "¥1.5 ¥1.1800 $1.180"},  // not three digits, or not yen
        {"¥", "¥"},
        {"", ""},
        {" ¥ ", " ¥ "},
        {"\xff\xfe 1, 980", "\xEF\xBF\xBD\xEF\xBF\xBD 1,980"},  // invalid bytes read as U+FFFD
    };
    for (const auto& c : cases) EXPECT_EQ(NumberJoiner::join(c.input), c.expected) << "input: " << c.input;
}

}  // namespace
}  // namespace tavori
