#include <gtest/gtest.h>

#include "TavoriCore/FieldConfidence.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

TEST(FieldConfidence, ReviewFollowsLevelsAndNotes) {
    struct Case {
        const char* name;
        FieldConfidence confidence;
        bool needsReview;
        std::vector<std::string> reasons;
    };
    const std::vector<Case> cases = {
        {"all high", {Level::high, Level::high, Level::high, {}}, false, {}},
        {"medium date", {Level::medium, Level::high, Level::high, {}}, false, {"日付: 確度は中程度です"}},
        {"missing vendor, low amount, a note",
         {Level::high, Level::missing, Level::low, {"金額: 注記"}},
         true,
         {"取引先: 書類から見つかりませんでした", "金額: 確度が低いので確認してください", "金額: 注記"}},
        {"notes alone do not ask for review",
         {Level::high, Level::high, Level::high, {"日付: a"}},
         false,
         {"日付: a"}},
        {"default is all missing",
         {},
         true,
         {"日付: 書類から見つかりませんでした", "取引先: 書類から見つかりませんでした",
          "金額: 書類から見つかりませんでした"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.confidence.needsReview(), c.needsReview) << c.name;
        EXPECT_EQ(c.confidence.reviewReasons(), c.reasons) << c.name;
    }
}

}  // namespace
}  // namespace tavori
