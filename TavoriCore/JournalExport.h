#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/DocumentType.h"
#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/ReceiptFields.h"

namespace tavori {

// Which account (勘定科目) a document is booked to: the vendor's own entry, then the document type's, then
// the fallback. Small and edited by the user.
struct AccountTable {
    std::string fallback = "消耗品費";
    std::map<DocumentType, std::string> byType;
    std::map<std::string, std::string> byVendor;

    bool operator==(const AccountTable&) const = default;

    // `rememberedVendor` is asked after the table's own vendors: the account remembered for a vendor
    // elsewhere, if any.
    std::string accountFor(const ReceiptFields& fields,
                           const std::function<std::optional<std::string>(std::string_view vendor)>&
                               rememberedVendor = {}) const;
};

// Coded as {"fallback", "byType": {label: account}, "byVendor": {vendor: account}}.
TAVORI_JSON_DECLARE(AccountTable);

// One document to book: its fields as reviewed and the name under which it is kept.
struct JournalDocument {
    ReceiptFields fields;
    std::string fileName;
};

// The import files of accounting packages: 弥生会計's 仕訳日記帳 import (弥生インポート形式, Shift_JIS, one
// line per rate), freee's 取引 import (Shift_JIS, one 取引 per document with one row per rate) and a plain
// UTF-8 CSV with one line per document.
namespace JournalExport {

enum class Format { yayoi, freee, generic };

std::optional<Format> formatFromName(std::string_view name);

// A character that the package's encoding cannot hold, and where it was.
struct Unencodable {
    std::string fileName;  // the document's
    std::string character;
    std::string description;  // "U+20BB7 CJK UNIFIED IDEOGRAPH-20BB7"

    bool operator==(const Unencodable&) const = default;
    // 「20240305_𠮷野家_880.pdf」の「𠮷」(U+20BB7 …) は Shift_JIS で書けません
    std::string message() const;
};

struct Output {
    std::string bytes;                     // empty when `unencodable` is not
    std::vector<Unencodable> unencodable;  // every character that could not be written, in order
    std::vector<std::string> skipped;      // documents left out for want of a date or an amount
};

// The file for `format`, or, when a character cannot be encoded, nothing written and every such character.
Output render(
    Format format, std::span<const JournalDocument> documents, const AccountTable& accounts,
    const std::function<std::optional<std::string>(std::string_view vendor)>& rememberedVendor = {});

}  // namespace JournalExport
}  // namespace tavori
