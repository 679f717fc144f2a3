#include "TavoriCore/Uuid.h"

#include <uuid/uuid.h>

namespace tavori {

Uuid Uuid::random() {
    Uuid out;
    uuid_generate_random(out.bytes.data());
    return out;
}

std::optional<Uuid> Uuid::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Uuid out;
    if (uuid_parse_range(text.data(), text.data() + text.size(), out.bytes.data()) != 0) return std::nullopt;
    return out;
}

std::string Uuid::uuidString() const {
    char buffer[37];
    uuid_unparse_upper(bytes.data(), buffer);
    return std::string(buffer, 36);
}

std::ostream& operator<<(std::ostream& os, const Uuid& uuid) {
    return os << uuid.uuidString();
}

namespace {
std::string stringForm(const Uuid& uuid) {
    return uuid.uuidString();
}
}  // namespace

TAVORI_JSON_RAW_VALUE(Uuid, stringForm, Uuid::fromString, "invalid UUID");

}  // namespace tavori
