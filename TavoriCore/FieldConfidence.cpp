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

constexpr JsonCoding::RawValues<Level, 4> kRawValues{{{
    {Level::high, "high"},
    {Level::medium, "medium"},
    {Level::low, "low"},
    {Level::missing, "missing"},
}}};

}  // namespace

bool FieldConfidence::needsReview() const {
    return asksForReview(date) || asksForReview(vendor) || asksForReview(amount) ||
           taxBreakdown == Level::low;
}

std::vector<std::string> FieldConfidence::reviewReasons() const {
    std::vector<std::string> reasons;
    appendReason(reasons, "日付", date);
    appendReason(reasons, "取引先", vendor);
    appendReason(reasons, "金額", amount);
    if (taxBreakdown == Level::low) reasons.push_back(std::string(kTaxBreakdownDisagrees));
    reasons.insert(reasons.end(), notes.begin(), notes.end());
    return reasons;
}

TAVORI_RAW_VALUE_FUNCTIONS(Level, confidenceLevelFromRawValue, kRawValues);

std::ostream& operator<<(std::ostream& os, const FieldConfidence& confidence) {
    os << "{date: " << confidence.date << ", vendor: " << confidence.vendor
       << ", amount: " << confidence.amount;
    if (confidence.taxBreakdown != Level::missing) os << ", taxBreakdown: " << confidence.taxBreakdown;
    os << ", notes: [";
    for (std::size_t i = 0; i < confidence.notes.size(); ++i)
        os << (i ? ", " : "") << '"' << confidence.notes[i] << '"';
    return os << "]}";
}

TAVORI_JSON_RAW_VALUE(Level, rawValue, confidenceLevelFromRawValue, "unknown confidence level");

TAVORI_JSON_OBJECT(FieldConfidence, JsonCoding::member("date", &FieldConfidence::date),
                   JsonCoding::member("vendor", &FieldConfidence::vendor),
                   JsonCoding::member("amount", &FieldConfidence::amount),
                   JsonCoding::member("notes", &FieldConfidence::notes),
                   JsonCoding::defaultedMember("taxBreakdown", &FieldConfidence::taxBreakdown,
                                               Level::missing));

}  // namespace tavori
