#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TavoriCore/DateComponentsValue.h"
#include "TavoriCore/VendorAliasDictionary.h"

namespace tavori {

// A document as the duplicate check sees it: the fields that identify a receipt and the name it is shown by.
struct DuplicateRecord {
    std::optional<DateComponentsValue> date;
    std::optional<std::int64_t> amount;
    std::string vendor;
    std::string fileName;

    bool operator==(const DuplicateRecord&) const = default;
};

// Another document that may be the same receipt. A warning only: it holds nothing back from saving.
struct PossibleDuplicate {
    enum class Reason { sameFields, sameContent };
    enum class Origin { list, book };  // another document of the list, or one already saved to the book

    Reason reason = Reason::sameFields;
    Origin origin = Origin::list;
    DuplicateRecord other;

    bool operator==(const PossibleDuplicate&) const = default;

    // 「重複の可能性: 2024/03/15 ¥302 セブンイレブン（20240315_セブンイレブン_302.pdf）」, with the other
    // document's fields; those it lacks are left out.
    std::string message() const;
};

std::ostream& operator<<(std::ostream& os, const DuplicateRecord& record);
std::ostream& operator<<(std::ostream& os, const PossibleDuplicate& duplicate);
std::string_view rawValue(PossibleDuplicate::Reason reason);
std::string_view rawValue(PossibleDuplicate::Origin origin);

// Records indexed by date and amount, so that finding those with the same date, amount and vendor costs one
// lookup however many there are. Vendors are compared after the alias rules, ignoring case and width, and
// only for the few records that share date and amount.
class DuplicateIndex {
  public:
    explicit DuplicateIndex(VendorAliasDictionary aliases = {});

    // Records without a date, an amount or a vendor are kept but never match.
    std::size_t add(DuplicateRecord record);
    // Many records at once (a whole book), sorted into the index in one pass.
    void addAll(std::vector<DuplicateRecord> records);
    const DuplicateRecord& record(std::size_t id) const { return records_[id]; }
    std::size_t size() const { return records_.size(); }

    // Ids of the records with the same date, amount and vendor as `record`, in the order they were added.
    std::vector<std::size_t> sameFields(const DuplicateRecord& record) const;
    // The name under which the aliases file a vendor, in the form it is compared.
    std::string vendorKey(std::string_view vendor) const;

  private:
    static std::optional<std::uint64_t> key(const DuplicateRecord& record);

    VendorAliasDictionary aliases_;
    std::vector<DuplicateRecord> records_;
    // (key, id) pairs sorted by key, ids of one key in the order added: far fewer allocations and cache
    // misses than a hash map of lists for a book of 100,000 rows.
    std::vector<std::pair<std::uint64_t, std::size_t>> byDateAndAmount_;
};

}  // namespace tavori
