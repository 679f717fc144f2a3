#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/TelephoneNumberExtractor.h"

namespace tavori {

// The vendor names the user gave, remembered against the numbers that identify a shop on every receipt it
// prints: its registration number and its telephone number. A shop whose name is only a logo is then known
// again at its next receipt.
struct VendorMemory {
    enum class Kind { registrationNumber, telephone };

    struct Entry {
        Kind kind = Kind::registrationNumber;
        std::string number;  // "T" and 13 digits, or the telephone number's digits
        std::string name;

        bool operator==(const Entry&) const = default;
    };

    // What a document's numbers recall: the name, and the note that says why ("以前の修正から: 登録番号 T…").
    struct Recall {
        std::string name;
        std::string note;
        bool operator==(const Recall&) const = default;
    };

    std::vector<Entry> entries;  // oldest first; each number at most once

    bool operator==(const VendorMemory&) const = default;

    // The number in the form it is remembered by, or nothing when it is not one of its kind.
    static std::optional<std::string> key(Kind kind, std::string_view number);

    // Remembers `name` for the number; a number remembered before takes the new name. False when the number
    // is not one or the name is empty.
    bool remember(Kind kind, std::string_view number, std::string_view name);
    // Forgets a number given in any form (a registration number or a telephone number); false when it was
    // not remembered.
    bool forget(std::string_view number);
    // Remembers `name` for a document's registration number and its first telephone number (the shop's own;
    // later ones may be a head office's); the entries made, none when the document has neither number.
    std::vector<Entry> rememberDocument(const std::optional<std::string>& registrationNumber,
                                        std::span<const TelephoneNumber> telephones, std::string_view name);
    const Entry* find(Kind kind, std::string_view number) const;

    // The number as the user reads it: "登録番号 T1234567890123" or "電話番号 03-1234-5678".
    static std::string describe(const Entry& entry);

    // The name remembered for a document with these numbers: by its registration number first, then by its
    // telephone numbers in order.
    std::optional<Recall> recall(const std::optional<std::string>& registrationNumber,
                                 std::span<const TelephoneNumber> telephones) const;
};

std::string_view rawValue(VendorMemory::Kind kind);  // "registrationNumber" or "telephone"
std::optional<VendorMemory::Kind> vendorMemoryKindFromRawValue(std::string_view raw);
std::ostream& operator<<(std::ostream& os, VendorMemory::Kind kind);
std::string_view displayName(VendorMemory::Kind kind);  // "登録番号" or "電話番号"
std::ostream& operator<<(std::ostream& os, const VendorMemory::Entry& entry);
std::ostream& operator<<(std::ostream& os, const VendorMemory& memory);

// Coded as an array of {"kind", "number", "name"}; decoding fails on an unknown kind or a number that is not
// one of its kind.
TAVORI_JSON_DECLARE(VendorMemory::Kind);
TAVORI_JSON_DECLARE(VendorMemory::Entry);
TAVORI_JSON_DECLARE(VendorMemory);

}  // namespace tavori
