#include "TavoriCore/ReceiptFields.h"

#include "TavoriCore/JsonCoding.h"

namespace tavori {
namespace {

template <class Json>
void encode(Json& j, const ReceiptFields& fields) {
    j = Json::object();
    if (fields.date) j["date"] = *fields.date;
    j["vendor"] = fields.vendor;
    if (fields.amount) j["amount"] = *fields.amount;
    j["documentType"] = fields.documentType;
    if (fields.registrationNumber) j["registrationNumber"] = *fields.registrationNumber;
    j["confidence"] = fields.confidence;
}

template <class Json>
void decode(const Json& j, ReceiptFields& fields) {
    ReceiptFields decoded;
    if (const Json* date = JsonCoding::optionalMember(j, "date"))
        decoded.date = date->template get<DateComponentsValue>();
    decoded.vendor = j.at("vendor").template get<std::string>();
    if (const Json* amount = JsonCoding::optionalMember(j, "amount"))
        decoded.amount = JsonCoding::int64(*amount);
    decoded.documentType = j.at("documentType").template get<DocumentType>();
    if (const Json* number = JsonCoding::optionalMember(j, "registrationNumber"))
        decoded.registrationNumber = number->template get<std::string>();
    decoded.confidence = j.at("confidence").template get<FieldConfidence>();
    fields = std::move(decoded);
}

}  // namespace

bool asksForReview(const ReceiptFields& fields) {
    return fields.confidence.needsReview() || !fields.isComplete();
}

std::ostream& operator<<(std::ostream& os, const ReceiptFields& fields) {
    os << "{date: ";
    if (fields.date)
        os << *fields.date;
    else
        os << "-";
    os << ", vendor: \"" << fields.vendor << "\", amount: ";
    if (fields.amount)
        os << *fields.amount;
    else
        os << "-";
    os << ", type: " << fields.documentType << ", regno: " << fields.registrationNumber.value_or("-")
       << ", confidence: " << fields.confidence << "}";
    return os;
}

void to_json(nlohmann::json& j, const ReceiptFields& fields) {
    encode(j, fields);
}
void from_json(const nlohmann::json& j, ReceiptFields& fields) {
    decode(j, fields);
}
void to_json(nlohmann::ordered_json& j, const ReceiptFields& fields) {
    encode(j, fields);
}
void from_json(const nlohmann::ordered_json& j, ReceiptFields& fields) {
    decode(j, fields);
}

}  // namespace tavori
