#include "TavoriCore/DocumentType.h"

#include <string>

namespace tavori {

std::string_view rawValue(DocumentType type) {
    switch (type) {
        case DocumentType::receipt:
            return "領収書";
        case DocumentType::invoice:
            return "請求書";
        case DocumentType::deliveryNote:
            return "納品書";
        case DocumentType::estimate:
            return "見積書";
        case DocumentType::orderConfirmation:
            return "注文書";
        case DocumentType::statement:
            return "明細書";
        case DocumentType::contract:
            return "契約書";
        case DocumentType::other:
            return "その他";
    }
    return "その他";
}

std::optional<DocumentType> documentTypeFromRawValue(std::string_view raw) {
    for (DocumentType type : allDocumentTypes)
        if (rawValue(type) == raw) return type;
    return std::nullopt;
}

std::ostream& operator<<(std::ostream& os, DocumentType type) {
    return os << rawValue(type);
}

namespace {

template <class Json>
void decode(const Json& j, DocumentType& type) {
    const auto raw = j.template get<std::string>();
    const auto decoded = documentTypeFromRawValue(raw);
    if (!decoded) throw Json::type_error::create(302, "unknown document type \"" + raw + "\"", &j);
    type = *decoded;
}

}  // namespace

void to_json(nlohmann::json& j, DocumentType type) {
    j = std::string(rawValue(type));
}
void from_json(const nlohmann::json& j, DocumentType& type) {
    decode(j, type);
}
void to_json(nlohmann::ordered_json& j, DocumentType type) {
    j = std::string(rawValue(type));
}
void from_json(const nlohmann::ordered_json& j, DocumentType& type) {
    decode(j, type);
}

}  // namespace tavori
