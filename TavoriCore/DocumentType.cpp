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

TAVORI_RAW_VALUE_FUNCTIONS(DocumentType, documentTypeFromRawValue, kRawValues);

TAVORI_JSON_RAW_VALUE(DocumentType, rawValue, documentTypeFromRawValue, "unknown document type");

}  // namespace tavori
