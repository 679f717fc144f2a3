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

TEST(FieldConfidence, Coding) {
    EXPECT_EQ(nlohmann::ordered_json(FieldConfidence{Level::high, Level::medium, Level::missing, {}}).dump(),
              R"({"date":"high","vendor":"medium","amount":"missing","notes":[]})");
    const FieldConfidence original{Level::low, Level::missing, Level::medium, {"日付: 一", "金額: 二"}};
    EXPECT_EQ(nlohmann::ordered_json(original).get<FieldConfidence>(), original);
    EXPECT_EQ(nlohmann::json::parse(nlohmann::json(original).dump()).get<FieldConfidence>(), original);

    const std::vector<std::pair<const char*, const char*>> failures = {
        {"no notes", R"({"date":"high","vendor":"high","amount":"high"})"},
        {"no date", R"({"vendor":"high","amount":"high","notes":[]})"},
        {"no vendor", R"({"date":"high","amount":"high","notes":[]})"},
        {"no amount", R"({"date":"high","vendor":"high","notes":[]})"},
        {"unknown level", R"({"date":"High","vendor":"high","amount":"high","notes":[]})"},
        {"note not a string", R"({"date":"high","vendor":"high","amount":"high","notes":[3]})"},
    };
    for (const auto& [name, text] : failures)
        EXPECT_THROW(nlohmann::ordered_json::parse(text).get<FieldConfidence>(), nlohmann::json::exception)
            << name;
}

}  // namespace
}  // namespace tavori
