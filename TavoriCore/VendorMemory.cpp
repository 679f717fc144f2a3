#include "TavoriCore/VendorMemory.h"

#include <algorithm>

#include "TavoriCore/TextNormalizer.h"

namespace tavori {
namespace {

constexpr JsonCoding::RawValues<VendorMemory::Kind, 2> kRawValues{{{
    {VendorMemory::Kind::registrationNumber, "registrationNumber"},
    {VendorMemory::Kind::telephone, "telephone"},
}}};

std::optional<std::string> registrationKey(std::string_view number) {
    const std::string text = TextNormalizer::normalize(number);
    std::string digits;
    bool letter = false;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if ((c == 'T' || c == 't') && digits.empty() && !letter)
            letter = true;
        else if (c != '-' && c != ' ')
            return std::nullopt;
    }
    if (digits.size() != 13) return std::nullopt;
    return "T" + digits;
}

// The telephone number as people write it: 03-1234-5678, 0120-123-456, 090-1234-5678. Only for the note;
// the digits are what is compared.
std::string printedTelephone(const std::string& digits) {
    if (digits.size() == 11) return digits.substr(0, 3) + "-" + digits.substr(3, 4) + "-" + digits.substr(7);
    if (digits.starts_with("0120") || digits.starts_with("0800"))
        return digits.substr(0, 4) + "-" + digits.substr(4, 3) + "-" + digits.substr(7);
    const std::size_t area = digits.starts_with("03") || digits.starts_with("06") ? 2 : 3;
    return digits.substr(0, area) + "-" + digits.substr(area, 6 - area) + "-" + digits.substr(6);
}

}  // namespace

TAVORI_RAW_VALUE_FUNCTIONS(VendorMemory::Kind, vendorMemoryKindFromRawValue, kRawValues);

std::string_view displayName(VendorMemory::Kind kind) {
    return kind == VendorMemory::Kind::registrationNumber ? "登録番号" : "電話番号";
}

std::optional<std::string> VendorMemory::key(Kind kind, std::string_view number) {
    if (kind == Kind::registrationNumber) return registrationKey(number);
    std::string digits = TelephoneNumberExtractor::digits(number);
    if (digits.empty()) return std::nullopt;
    return digits;
}

bool VendorMemory::remember(Kind kind, std::string_view number, std::string_view name) {
    const auto k = key(kind, number);
    if (!k || name.empty()) return false;
    // The entry moves to the end, so the list reads in the order things were remembered.
    std::erase_if(entries, [&](const Entry& e) { return e.kind == kind && e.number == *k; });
    entries.push_back({kind, *k, std::string(name)});
    return true;
}

bool VendorMemory::forget(std::string_view number) {
    const auto before = entries.size();
    for (const Kind kind : {Kind::registrationNumber, Kind::telephone})
        if (const auto k = key(kind, number))
            std::erase_if(entries, [&](const Entry& e) { return e.kind == kind && e.number == *k; });
    return entries.size() != before;
}

std::vector<VendorMemory::Entry> VendorMemory::rememberDocument(
    const std::optional<std::string>& registrationNumber, std::span<const TelephoneNumber> telephones,
    std::string_view name) {
    std::vector<Entry> made;
    if (registrationNumber && remember(Kind::registrationNumber, *registrationNumber, name))
        made.push_back(entries.back());
    if (!telephones.empty() && remember(Kind::telephone, telephones.front().digits, name))
        made.push_back(entries.back());
    return made;
}

const VendorMemory::Entry* VendorMemory::find(Kind kind, std::string_view number) const {
    const auto k = key(kind, number);
    if (!k) return nullptr;
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return e.kind == kind && e.number == *k; });
    return it == entries.end() ? nullptr : &*it;
}

std::optional<VendorMemory::Recall> VendorMemory::recall(const std::optional<std::string>& registrationNumber,
                                                         std::span<const TelephoneNumber> telephones) const {
    if (entries.empty()) return std::nullopt;
    if (registrationNumber)
        if (const Entry* e = find(Kind::registrationNumber, *registrationNumber))
            return Recall{e->name, "以前の修正から: 登録番号 " + e->number};
    for (const TelephoneNumber& telephone : telephones)
        if (const Entry* e = find(Kind::telephone, telephone.digits))
            return Recall{e->name, "以前の修正から: 電話番号 " + telephone.printed};
    return std::nullopt;
}

std::string VendorMemory::describe(const Entry& entry) {
    return std::string(displayName(entry.kind)) + ' ' +
           (entry.kind == Kind::telephone ? printedTelephone(entry.number) : entry.number);
}

std::ostream& operator<<(std::ostream& os, const VendorMemory::Entry& entry) {
    return os << VendorMemory::describe(entry) << " → " << entry.name;
}

std::ostream& operator<<(std::ostream& os, const VendorMemory& memory) {
    os << "VendorMemory{";
    for (std::size_t i = 0; i < memory.entries.size(); ++i) os << (i ? "; " : "") << memory.entries[i];
    return os << '}';
}

namespace {

template <class Json>
void encodeEntry(Json& j, const VendorMemory::Entry& entry) {
    j = Json::object();
    j["kind"] = entry.kind;
    j["number"] = entry.number;
    j["name"] = entry.name;
}

template <class Json>
void decodeEntry(const Json& j, VendorMemory::Entry& entry) {
    VendorMemory::Entry decoded;
    decoded.kind = j.at("kind").template get<VendorMemory::Kind>();
    const auto number = j.at("number").template get<std::string>();
    const auto k = VendorMemory::key(decoded.kind, number);
    if (!k) throw Json::type_error::create(302, "not a number of its kind: " + number, &j);
    decoded.number = *k;
    decoded.name = j.at("name").template get<std::string>();
    entry = std::move(decoded);
}

template <class Json>
void encodeMemory(Json& j, const VendorMemory& memory) {
    j = Json::array();
    for (const auto& entry : memory.entries) j.push_back(entry);
}

template <class Json>
void decodeMemory(const Json& j, VendorMemory& memory) {
    if (!j.is_array())
        throw Json::type_error::create(302, std::string("type must be array, but is ") + j.type_name(), &j);
    VendorMemory decoded;
    for (const auto& e : j) decoded.entries.push_back(e.template get<VendorMemory::Entry>());
    memory = std::move(decoded);
}

}  // namespace

TAVORI_JSON_RAW_VALUE(VendorMemory::Kind, rawValue, vendorMemoryKindFromRawValue,
                      "unknown vendor memory kind");
TAVORI_JSON_CODED_BY(VendorMemory::Entry, encodeEntry, decodeEntry);
TAVORI_JSON_CODED_BY(VendorMemory, encodeMemory, decodeMemory);

}  // namespace tavori
