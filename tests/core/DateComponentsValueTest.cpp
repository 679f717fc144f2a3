#include <gtest/gtest.h>

#include "TavoriCore/DateComponentsValue.h"

namespace tavori {
namespace {

TEST(DateComponentsValue, Validity) {
    struct Case {
        DateComponentsValue date;
        bool valid;
    };
    const std::vector<Case> cases = {
        {{2024, 2, 29}, true},  {{2023, 2, 29}, false},  {{2024, 2, 30}, false}, {{2024, 4, 31}, false},
        {{1990, 1, 1}, true},   {{1989, 12, 31}, false}, {{2100, 12, 31}, true}, {{2101, 1, 1}, false},
        {{2100, 2, 29}, false}, {{2000, 2, 29}, true},   {{2024, 13, 1}, false}, {{2024, 0, 1}, false},
        {{2024, 1, 0}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.date.isValid(), c.valid) << c.date;
}

TEST(DateComponentsValue, FormattingIsTextual) {
    const DateComponentsValue d{2024, 1, 5};
    EXPECT_EQ(d.formatted("yyyy-MM-dd"), "2024-01-05");
    EXPECT_EQ(d.formatted("yyyyMMdd"), "20240105");
    EXPECT_EQ(d.formatted("yyyy年M月d日"), "2024年1月5日");
    EXPECT_EQ(d.formatted("yy/MM"), "yy/01");
    EXPECT_EQ((DateComponentsValue{987, 3, 4}).description(), "0987-03-04");
    EXPECT_LT((DateComponentsValue{2024, 1, 31}), (DateComponentsValue{2024, 2, 1}));
}

}  // namespace
}  // namespace tavori
