#include "TavoriKit/model/FieldMerger.h"

#include <string>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/Unicode.h"

namespace tavori::FieldMerger {

namespace {

using Level = FieldConfidence::Level;

void mergeDate(ReceiptFields& fields, const SemanticFields& semantic) {
    if (!semantic.date) return;
    const DateComponentsValue& s = *semantic.date;
    if (!fields.date) {
        fields.date = s;
        fields.confidence.date = Level::medium;
    } else if (*fields.date == s) {
        fields.confidence.date = Level::high;
    } else if (fields.confidence.date != Level::high) {
        fields.confidence.notes.push_back("日付: 文脈から " + s.formatted("yyyy/MM/dd") +
                                          " と判断しました（規則ベースの読みは " +
                                          fields.date->formatted("yyyy/MM/dd") + "）");
        fields.date = s;
        fields.confidence.date = Level::low;
    }
}

void mergeAmount(ReceiptFields& fields, const SemanticFields& semantic) {
    if (!semantic.amount) return;
    const std::int64_t s = *semantic.amount;
    if (!fields.amount) {
        fields.amount = s;
        fields.confidence.amount = Level::medium;
    } else if (*fields.amount == s || fields.confidence.amount == Level::high) {
        fields.confidence.amount = Level::high;
    } else {
        fields.confidence.notes.push_back("金額: 文脈から ¥" + FileNameTemplate::grouped(s) +
                                          " と判断しました（規則ベースの読みは ¥" +
                                          FileNameTemplate::grouped(*fields.amount) + "）");
        fields.amount = s;
        fields.confidence.amount = Level::low;
    }
}

void mergeVendor(ReceiptFields& fields, const SemanticFields& semantic,
                 const VendorAliasDictionary& aliases) {
    if (!semantic.vendor || VendorAliasDictionary::isBareCorporateAffix(*semantic.vendor)) return;
    const std::string k = aliases.canonicalName(*semantic.vendor);
    // A user rule may map a name to nothing; an empty name would "agree" with any rule vendor.
    if (k.empty()) return;
    const std::string& r = fields.vendor;
    if (r.empty()) {
        fields.vendor = k;
        fields.confidence.vendor = Level::medium;
    } else if (r == k || Unicode::contains(r, k) || Unicode::contains(k, r)) {
        fields.confidence.vendor = Level::high;
    } else if (fields.confidence.vendor == Level::medium) {
        fields.confidence.notes.push_back("取引先: 文脈から「" + k +
                                          "」と判断しました（規則ベースの読みは「" + r + "」）");
        fields.vendor = k;
        fields.confidence.vendor = Level::low;
    } else if (fields.confidence.vendor == Level::low) {
        fields.vendor = k;
    }
}

}  // namespace

ReceiptFields merge(const ReceiptFields& rules, const SemanticFields& semantic,
                    const VendorAliasDictionary& aliases) {
    ReceiptFields fields = rules;
    mergeDate(fields, semantic);
    mergeAmount(fields, semantic);
    mergeVendor(fields, semantic, aliases);
    if (fields.documentType == DocumentType::other && semantic.documentType)
        fields.documentType = *semantic.documentType;
    if (!fields.registrationNumber) fields.registrationNumber = semantic.registrationNumber;
    return fields;
}

}  // namespace tavori::FieldMerger
