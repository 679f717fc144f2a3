#include "TavoriCore/FieldConfidence.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

bool asksForReview(Level level) {
    return level == Level::low || level == Level::missing;
}

void appendReason(std::vector<std::string>& reasons, std::string_view label, Level level) {
    std::string_view message;
    switch (level) {
        case Level::high:
            return;
        case Level::medium:
            message = "確度は中程度です";
            break;
        case Level::low:
            message = "確度が低いので確認してください";
            break;
        case Level::missing:
            message = "書類から見つかりませんでした";
            break;
    }
    reasons.push_back(std::string(label) + ": " + std::string(message));
}

template <class Json>
void decodeLevel(const Json& j, Level& level) {
    const auto raw = j.template get<std::string>();
    const auto decoded = confidenceLevelFromRawValue(raw);
    if (!decoded) throw Json::type_error::create(302, "unknown confidence level \"" + raw + "\"", &j);
    level = *decoded;
}

template <class Json>
void encode(Json& j, const FieldConfidence& confidence) {
    j = Json::object();
    j["date"] = confidence.date;
    j["vendor"] = confidence.vendor;
    j["amount"] = confidence.amount;
    j["notes"] = confidence.notes;
}

template <class Json>
void decode(const Json& j, FieldConfidence& confidence) {
    FieldConfidence decoded;
    decoded.date = j.at("date").template get<Level>();
    decoded.vendor = j.at("vendor").template get<Level>();
    decoded.amount = j.at("amount").template get<Level>();
    decoded.notes = j.at("notes").template get<std::vector<std::string>>();
    confidence = std::move(decoded);
}

}  // namespace

bool FieldConfidence::needsReview() const {
    return asksForReview(date) || asksForReview(vendor) || asksForReview(amount);
}

std::vector<std::string> FieldConfidence::reviewReasons() const {
    std::vector<std::string> reasons;
    appendReason(reasons, "日付", date);
    appendReason(reasons, "取引先", vendor);
    appendReason(reasons, "金額", amount);
    reasons.insert(reasons.end(), notes.begin(), notes.end());
    return reasons;
}

std::string_view rawValue(Level level) {
    switch (level) {
        case Level::high:
            return "high";
        case Level::medium:
            return "medium";
        case Level::low:
            return "low";
        case Level::missing:
            return "missing";
    }
    return "missing";
}

std::optional<Level> confidenceLevelFromRawValue(std::string_view raw) {
    for (Level level : allConfidenceLevels)
        if (rawValue(level) == raw) return level;
    return std::nullopt;
}

std::ostream& operator<<(std::ostream& os, Level level) {
    return os << rawValue(level);
}

std::ostream& operator<<(std::ostream& os, const FieldConfidence& confidence) {
    os << "{date: " << confidence.date << ", vendor: " << confidence.vendor
       << ", amount: " << confidence.amount << ", notes: [";
    for (std::size_t i = 0; i < confidence.notes.size(); ++i)
        os << (i ? ", " : "") << '"' << confidence.notes[i] << '"';
    return os << "]}";
}

void to_json(nlohmann::json& j, Level level) {
    j = std::string(rawValue(level));
}
void from_json(const nlohmann::json& j, Level& level) {
    decodeLevel(j, level);
}
void to_json(nlohmann::ordered_json& j, Level level) {
    j = std::string(rawValue(level));
}
void from_json(const nlohmann::ordered_json& j, Level& level) {
    decodeLevel(j, level);
}

void to_json(nlohmann::json& j, const FieldConfidence& confidence) {
    encode(j, confidence);
}
void from_json(const nlohmann::json& j, FieldConfidence& confidence) {
    decode(j, confidence);
}
void to_json(nlohmann::ordered_json& j, const FieldConfidence& confidence) {
    encode(j, confidence);
}
void from_json(const nlohmann::ordered_json& j, FieldConfidence& confidence) {
    decode(j, confidence);
}

}  // namespace tavori
