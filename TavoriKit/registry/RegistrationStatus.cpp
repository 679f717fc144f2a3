#include "TavoriKit/registry/RegistrationStatus.h"

#include "TavoriCore/TextNormalizer.h"

namespace tavori {
namespace {

std::string japaneseDate(const DateComponentsValue& date) {
    return date.formatted("yyyy年M月d日");
}

std::string dataAsOf(const std::optional<DateComponentsValue>& registryDate) {
    return registryDate ? "（" + japaneseDate(*registryDate) + "までの公表データ）" : std::string();
}

}  // namespace

RegistrationStatus RegistrationStatus::evaluate(std::string_view number,
                                                const std::optional<RegistryRecord>& record,
                                                std::optional<DateComponentsValue> date,
                                                std::optional<DateComponentsValue> registryDate) {
    RegistrationStatus s;
    s.number = std::string(number);
    s.date = date;
    s.registryDate = registryDate;
    if (!record || record->process == RegistryRecord::Process::deleted) {
        s.state = State::notFound;
        return s;
    }
    s.registeredName = record->name;
    s.tradeName = record->tradeName;
    s.kind = record->kind;
    s.registrationDate = record->registrationDate;

    // A registration stops having effect on its cancellation or expiry date: a transaction on that day is
    // no longer covered.
    const auto& cancelled = record->cancellationDate;
    const auto& expired = record->expiryDate;
    State endState = State::registered;
    if (cancelled && (!expired || *cancelled <= *expired)) {
        s.endDate = cancelled;
        endState = State::cancelled;
    } else if (expired) {
        s.endDate = expired;
        endState = State::expired;
    }

    if (date && s.registrationDate && *date < *s.registrationDate)
        s.state = State::notYetRegistered;
    else if (s.endDate && (!date || *date >= *s.endDate))
        s.state = endState;
    else
        s.state = State::registered;
    return s;
}

std::string RegistrationStatus::message() const {
    const std::string kindText = kind ? std::string(displayName(*kind)) : std::string();
    switch (state) {
        case State::registered: {
            std::string text = "登録済み: " + registeredName;
            if (!tradeName.empty()) text += "（屋号: " + tradeName + "）";
            text += "、" + kindText;
            if (registrationDate) text += "、" + japaneseDate(*registrationDate) + "登録";
            if (!date) text += "。取引日が分からないため、取引時点で有効かは確かめていません";
            return text;
        }
        case State::notFound:
            return "この登録番号は適格請求書発行事業者の公表データに見つかりません" + dataAsOf(registryDate) +
                   "。番号の読み取りミスか、未登録の可能性があります";
        case State::notYetRegistered:
            return "取引日（" + japaneseDate(*date) + "）にはまだ登録されていません（" + registeredName +
                   "、" + japaneseDate(*registrationDate) + "登録）";
        case State::expired:
        case State::cancelled: {
            const std::string what = state == State::expired ? "失効し" : "取り消され";
            std::string text =
                "登録は" + japaneseDate(*endDate) + "に" + what + "ています（" + registeredName + "）";
            if (date)
                text += "。取引日（" + japaneseDate(*date) + "）には有効ではありません";
            else
                text += "。取引日が分からないため、取引時点で有効だったかは確かめていません";
            return text;
        }
    }
    return {};
}

std::string RegistrationStatus::vendorSuggestion() const {
    if (state == State::notFound) return {};
    const std::string& chosen =
        kind == RegistryRecord::Kind::soleProprietor && !tradeName.empty() ? tradeName : registeredName;
    return TextNormalizer::normalize(chosen);
}

std::string_view rawValue(RegistrationStatus::State state) {
    using S = RegistrationStatus::State;
    switch (state) {
        case S::registered:
            return "registered";
        case S::notFound:
            return "notFound";
        case S::notYetRegistered:
            return "notYetRegistered";
        case S::expired:
            return "expired";
        case S::cancelled:
            return "cancelled";
    }
    return "notFound";
}

std::ostream& operator<<(std::ostream& os, const RegistrationStatus& s) {
    os << rawValue(s.state) << ' ' << s.number;
    if (s.date) os << " on " << *s.date;
    if (!s.registeredName.empty()) os << " \"" << s.registeredName << '"';
    if (s.endDate) os << " ended " << *s.endDate;
    return os;
}

void to_json(nlohmann::ordered_json& j, const RegistrationStatus& s) {
    j = nlohmann::ordered_json::object();
    j["state"] = rawValue(s.state);
    j["number"] = s.number;
    if (s.date) j["date"] = *s.date;
    if (!s.registeredName.empty()) j["registeredName"] = s.registeredName;
    if (!s.tradeName.empty()) j["tradeName"] = s.tradeName;
    if (s.kind) j["kind"] = *s.kind == RegistryRecord::Kind::corporation ? "corporation" : "soleProprietor";
    if (s.registrationDate) j["registrationDate"] = *s.registrationDate;
    if (s.endDate) j["endDate"] = *s.endDate;
    if (s.registryDate) j["registryDate"] = *s.registryDate;
    j["message"] = s.message();
}

}  // namespace tavori
