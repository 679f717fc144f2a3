#include "TavoriKit/registry/RegistrationStatus.h"

#include <gtest/gtest.h>

namespace tavori {
namespace {

using State = RegistrationStatus::State;
using D = DateComponentsValue;

RegistryRecord registeredOn(D date) {
    RegistryRecord r;
    r.number = "T5000012010024";
    r.kind = RegistryRecord::Kind::corporation;
    r.name = "株式会社見本";
    r.registrationDate = r.updateDate = date;
    return r;
}

TEST(RegistrationStatusTest, EachDateBoundary) {
    auto expiring = registeredOn({2023, 10, 1});
    expiring.expiryDate = D{2024, 4, 1};
    auto cancelledEarlier = registeredOn({2023, 10, 1});
    cancelledEarlier.expiryDate = D{2024, 4, 1};
    cancelledEarlier.cancellationDate = D{2024, 3, 1};
    auto expiredEarlier = registeredOn({2023, 10, 1});
    expiredEarlier.expiryDate = D{2024, 2, 1};
    expiredEarlier.cancellationDate = D{2024, 3, 1};
    auto deleted = registeredOn({2023, 10, 1});
    deleted.process = RegistryRecord::Process::deleted;

    struct Case {
        std::string name;
        std::optional<RegistryRecord> record;
        std::optional<D> date;
        State state;
        std::optional<D> endDate;
    };
    const std::vector<Case> cases = {
        {"day before registration", expiring, D{2023, 9, 30}, State::notYetRegistered, D{2024, 4, 1}},
        {"registration day", expiring, D{2023, 10, 1}, State::registered, D{2024, 4, 1}},
        {"day before expiry", expiring, D{2024, 3, 31}, State::registered, D{2024, 4, 1}},
        {"expiry day", expiring, D{2024, 4, 1}, State::expired, D{2024, 4, 1}},
        {"after expiry", expiring, D{2025, 1, 1}, State::expired, D{2024, 4, 1}},
        {"expired, no date", expiring, std::nullopt, State::expired, D{2024, 4, 1}},
        {"cancellation before expiry wins", cancelledEarlier, D{2024, 3, 1}, State::cancelled, D{2024, 3, 1}},
        {"day before that cancellation", cancelledEarlier, D{2024, 2, 29}, State::registered, D{2024, 3, 1}},
        {"expiry before cancellation wins", expiredEarlier, D{2024, 2, 1}, State::expired, D{2024, 2, 1}},
        {"never ended, no date", registeredOn({2023, 10, 1}), std::nullopt, State::registered, std::nullopt},
        {"never ended, long after", registeredOn({2023, 10, 1}), D{2030, 1, 1}, State::registered,
         std::nullopt},
        {"not in the register", std::nullopt, D{2024, 1, 1}, State::notFound, std::nullopt},
        {"deleted", deleted, D{2024, 1, 1}, State::notFound, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto s = RegistrationStatus::evaluate("T5000012010024", c.record, c.date, D{2024, 9, 30});
        EXPECT_EQ(s.state, c.state) << c.name;
        EXPECT_EQ(s.endDate, c.endDate) << c.name;
        EXPECT_EQ(s.isReliable(), c.state == State::registered) << c.name;
        EXPECT_FALSE(s.message().empty()) << c.name;
    }
}

TEST(RegistrationStatusTest, MessagesNameWhatIsWrong) {
    auto r = registeredOn({2023, 10, 1});
    const D registry{2024, 9, 30};
    EXPECT_EQ(RegistrationStatus::evaluate(r.number, r, D{2024, 1, 5}, registry).message(),
              "登録済み: 株式会社見本、法人、2023年10月1日登録");
    EXPECT_EQ(RegistrationStatus::evaluate(r.number, r, D{2023, 9, 1}, registry).message(),
              "取引日（2023年9月1日）にはまだ登録されていません（株式会社見本、2023年10月1日登録）");
    EXPECT_EQ(
        RegistrationStatus::evaluate(r.number, std::nullopt, D{2024, 1, 5}, registry).message(),
        "この登録番号は適格請求書発行事業者の公表データに見つかりません（2024年9月30日までの公表データ）。"
        "番号の読み取りミスか、未登録の可能性があります");
    r.cancellationDate = D{2024, 3, 1};
    EXPECT_EQ(RegistrationStatus::evaluate(r.number, r, D{2024, 3, 5}, registry).message(),
              "登録は2024年3月1日に取り消されています（株式会社見本）。取引日（2024年3月5日）には有効ではあり"
              "ません");
}

TEST(RegistrationStatusTest, VendorSuggestionPrefersASoleProprietorsTradeName) {
    auto corp = registeredOn({2023, 10, 1});
    corp.name = "株式会社ＣＡＲＴＡ　ＨＯＬＤＩＮＧＳ";
    EXPECT_EQ(RegistrationStatus::evaluate(corp.number, corp, std::nullopt, std::nullopt).vendorSuggestion(),
              "株式会社CARTA HOLDINGS");
    auto sole = registeredOn({2023, 10, 1});
    sole.kind = RegistryRecord::Kind::soleProprietor;
    sole.name = "見本　太郎";
    EXPECT_EQ(RegistrationStatus::evaluate(sole.number, sole, std::nullopt, std::nullopt).vendorSuggestion(),
              "見本 太郎");
    sole.tradeName = "みほん商店";
    EXPECT_EQ(RegistrationStatus::evaluate(sole.number, sole, std::nullopt, std::nullopt).vendorSuggestion(),
              "みほん商店");
    EXPECT_EQ(RegistrationStatus::evaluate(sole.number, std::nullopt, std::nullopt, std::nullopt)
                  .vendorSuggestion(),
              "");
}

TEST(RegistrationStatusTest, JsonLeavesOutWhatIsAbsent) {
    const auto r = registeredOn({2023, 10, 1});
    nlohmann::ordered_json found = RegistrationStatus::evaluate(r.number, r, D{2024, 1, 5}, D{2024, 9, 30});
    EXPECT_EQ(found["state"], "registered");
    EXPECT_EQ(found["kind"], "corporation");
    EXPECT_EQ(found["registeredName"], "株式会社見本");
    EXPECT_EQ(found["date"]["month"], 1);
    EXPECT_FALSE(found.contains("endDate"));
    nlohmann::ordered_json missing =
        RegistrationStatus::evaluate("T1234567890123", std::nullopt, std::nullopt, std::nullopt);
    std::vector<std::string> keys;
    for (const auto& [key, value] : missing.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"state", "number", "message"}));
}

}  // namespace
}  // namespace tavori
