#include "TavoriCore/PossibleDuplicate.h"

#include <algorithm>

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

namespace {

bool keyLess(const std::pair<std::uint64_t, std::size_t>& a, const std::pair<std::uint64_t, std::size_t>& b) {
    return a.first < b.first;
}

}  // namespace

std::size_t DuplicateIndex::add(DuplicateRecord record) {
    const std::size_t id = records_.size();
    if (const auto k = key(record)) {
        const std::pair entry(*k, id);
        byDateAndAmount_.insert(
            std::upper_bound(byDateAndAmount_.begin(), byDateAndAmount_.end(), entry, keyLess), entry);
    }
    records_.push_back(std::move(record));
    return id;
}

void DuplicateIndex::addAll(std::vector<DuplicateRecord> records) {
    const std::size_t before = byDateAndAmount_.size();
    records_.reserve(records_.size() + records.size());
    for (auto& record : records) {
        if (const auto k = key(record)) byDateAndAmount_.emplace_back(*k, records_.size());
        records_.push_back(std::move(record));
    }
    std::stable_sort(byDateAndAmount_.begin() + static_cast<std::ptrdiff_t>(before), byDateAndAmount_.end(),
                     keyLess);
    std::inplace_merge(byDateAndAmount_.begin(),
                       byDateAndAmount_.begin() + static_cast<std::ptrdiff_t>(before), byDateAndAmount_.end(),
                       keyLess);
}

std::vector<std::size_t> DuplicateIndex::sameFields(const DuplicateRecord& record) const {
    std::vector<std::size_t> out;
    const auto k = key(record);
    if (!k) return out;
    auto [first, last] = std::equal_range(byDateAndAmount_.begin(), byDateAndAmount_.end(),
                                          std::pair(*k, std::size_t{0}), keyLess);
    if (first == last) return out;
    const std::string vendor = vendorKey(record.vendor);
    if (vendor.empty()) return out;
    for (auto it = first; it != last; ++it) {
        const std::size_t id = it->second;
        const DuplicateRecord& other = records_[id];
        // The key mixes date and amount; equal keys of different values are told apart here.
        if (other.date != record.date || other.amount != record.amount) continue;
        if (vendorKey(other.vendor) == vendor) out.push_back(id);
    }
    return out;
}

}  // namespace tavori
