#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string_view>

#include "TavoriCore/JsonCoding.h"

namespace tavori {

// The kind of a business document; the raw value is the Japanese label written into names and the index book.
enum class DocumentType {
    receipt,
    invoice,
    deliveryNote,
    estimate,
    orderConfirmation,
    statement,
    contract,
    other
};

inline constexpr std::array<DocumentType, 8> allDocumentTypes = {
    DocumentType::receipt,           DocumentType::invoice,
    DocumentType::deliveryNote,      DocumentType::estimate,
    DocumentType::orderConfirmation, DocumentType::statement,
    DocumentType::contract,          DocumentType::other};

std::string_view rawValue(DocumentType type);
inline std::string_view displayName(DocumentType type) {
    return rawValue(type);
}
std::optional<DocumentType> documentTypeFromRawValue(std::string_view raw);
std::ostream& operator<<(std::ostream& os, DocumentType type);

// Coded as its raw value; decoding an unknown label throws nlohmann::json::type_error.
TAVORI_JSON_DECLARE(DocumentType);

}  // namespace tavori
