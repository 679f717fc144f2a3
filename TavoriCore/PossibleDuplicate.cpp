#include "TavoriCore/PossibleDuplicate.h"

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/IndexBookSearch.h"
#include "TavoriCore/Unicode.h"

namespace tavori {

std::string PossibleDuplicate::message() const {
    std::string fields;
    auto add = [&](const std::string& part) {
        if (part.empty()) return;
        if (!fields.empty()) fields += ' ';
        fields += part;
    };
    if (other.date) add(other.date->formatted("yyyy/MM/dd"));
    if (other.amount) add("¥" + FileNameTemplate::grouped(*other.amount));
    add(other.vendor);
    if (fields.empty()) fields = "同じ内容のファイル";
    std::string text = "重複の可能性: " + fields;
    if (!other.fileName.empty()) text += "（" + Unicode::toValidUtf8(other.fileName) + "）";
    return text;
}

std::string_view rawValue(PossibleDuplicate::Reason reason) {
    return reason == PossibleDuplicate::Reason::sameFields ? "fields" : "content";
}

std::string_view rawValue(PossibleDuplicate::Origin origin) {
    return origin == PossibleDuplicate::Origin::list ? "list" : "book";
}

std::ostream& operator<<(std::ostream& os, const DuplicateRecord& record) {
    os << "DuplicateRecord{";
    if (record.date) os << *record.date;
    os << ' ';
    if (record.amount) os << *record.amount;
    return os << " \"" << record.vendor << "\" \"" << record.fileName << "\"}";
}

std::ostream& operator<<(std::ostream& os, const PossibleDuplicate& duplicate) {
    return os << "PossibleDuplicate{" << rawValue(duplicate.reason) << ' ' << rawValue(duplicate.origin)
              << ' ' << duplicate.other << '}';
}

DuplicateIndex::DuplicateIndex(VendorAliasDictionary aliases) : aliases_(std::move(aliases)) {}

std::optional<std::uint64_t> DuplicateIndex::key(const DuplicateRecord& record) {
    if (!record.date || !record.amount) return std::nullopt;
    const auto day =
        static_cast<std::uint64_t>(record.date->year * 10000 + record.date->month * 100 + record.date->day);
    return day * 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(*record.amount);
}

std::string DuplicateIndex::vendorKey(std::string_view vendor) const {
    if (Unicode::trim(vendor).empty()) return {};
    return IndexBookSearch::vendorKey(aliases_.canonicalName(vendor));
}

std::size_t DuplicateIndex::add(DuplicateRecord record) {
    const std::size_t id = records_.size();
    if (const auto k = key(record)) byDateAndAmount_[*k].push_back(id);
    records_.push_back(std::move(record));
    return id;
}

std::vector<std::size_t> DuplicateIndex::sameFields(const DuplicateRecord& record) const {
    std::vector<std::size_t> out;
    const auto k = key(record);
    if (!k) return out;
    const auto bucket = byDateAndAmount_.find(*k);
    if (bucket == byDateAndAmount_.end()) return out;
    const std::string vendor = vendorKey(record.vendor);
    if (vendor.empty()) return out;
    for (std::size_t id : bucket->second) {
        const DuplicateRecord& other = records_[id];
        // The key mixes date and amount; equal keys of different values are told apart here.
        if (other.date != record.date || other.amount != record.amount) continue;
        if (vendorKey(other.vendor) == vendor) out.push_back(id);
    }
    return out;
}

}  // namespace tavori
