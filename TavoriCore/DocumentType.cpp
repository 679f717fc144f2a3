#include "TavoriCore/DocumentType.h"

#include <string>

namespace tavori {
namespace {

constexpr JsonCoding::RawValues<DocumentType, 8> kRawValues{{{
    {DocumentType::receipt, "領収書"},
    {DocumentType::invoice, "請求書"},
    {DocumentType::deliveryNote, "納品書"},
    {DocumentType::estimate, "見積書"},
    {DocumentType::orderConfirmation, "注文書"},
    {DocumentType::statement, "明細書"},
    {DocumentType::contract, "契約書"},
    {DocumentType::other, "その他"},
}}};

}  // namespace

std::string_view rawValue(DocumentType type) {
    return kRawValues.rawValue(type);
}

std::optional<DocumentType> documentTypeFromRawValue(std::string_view raw) {
    return kRawValues.fromRawValue(raw);
}

std::ostream& operator<<(std::ostream& os, DocumentType type) {
    return os << rawValue(type);
}

TAVORI_JSON_RAW_VALUE(DocumentType, rawValue, documentTypeFromRawValue, "unknown document type");

}  // namespace tavori
