#include "TavoriCore/IndexBookEntry.h"

#include "TavoriCore/JsonCoding.h"

namespace tavori {
namespace {

template <class Json>
void encode(Json& j, const IndexBookEntry& entry) {
    j = Json::object();
    j["sequence"] = entry.sequence;
    if (entry.date) j["date"] = *entry.date;
    if (entry.amount) j["amount"] = *entry.amount;
    j["vendor"] = entry.vendor;
    j["documentType"] = entry.documentType;
    j["fileName"] = entry.fileName;
    if (entry.registrationNumber) j["registrationNumber"] = *entry.registrationNumber;
    j["note"] = entry.note;
}

template <class Json>
void decode(const Json& j, IndexBookEntry& entry) {
    IndexBookEntry decoded;
    decoded.sequence = JsonCoding::int64(j.at("sequence"));
    if (const Json* date = JsonCoding::optionalMember(j, "date"))
        decoded.date = date->template get<DateComponentsValue>();
    if (const Json* amount = JsonCoding::optionalMember(j, "amount"))
        decoded.amount = JsonCoding::int64(*amount);
    decoded.vendor = j.at("vendor").template get<std::string>();
    decoded.documentType = j.at("documentType").template get<DocumentType>();
    decoded.fileName = j.at("fileName").template get<std::string>();
    if (const Json* number = JsonCoding::optionalMember(j, "registrationNumber"))
        decoded.registrationNumber = number->template get<std::string>();
    decoded.note = j.at("note").template get<std::string>();
    entry = std::move(decoded);
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const IndexBookEntry& entry) {
    os << "{#" << entry.sequence << ", date: ";
    if (entry.date)
        os << *entry.date;
    else
        os << "-";
    os << ", amount: ";
    if (entry.amount)
        os << *entry.amount;
    else
        os << "-";
    return os << ", vendor: \"" << entry.vendor << "\", type: " << entry.documentType << ", file: \""
              << entry.fileName << "\", regno: " << entry.registrationNumber.value_or("-") << ", note: \""
              << entry.note << "\"}";
}

void to_json(nlohmann::json& j, const IndexBookEntry& entry) {
    encode(j, entry);
}
void from_json(const nlohmann::json& j, IndexBookEntry& entry) {
    decode(j, entry);
}
void to_json(nlohmann::ordered_json& j, const IndexBookEntry& entry) {
    encode(j, entry);
}
void from_json(const nlohmann::ordered_json& j, IndexBookEntry& entry) {
    decode(j, entry);
}

}  // namespace tavori
