#include "TavoriCore/IndexBookEntry.h"

#include "TavoriCore/JsonCoding.h"

namespace tavori {
std::ostream& operator<<(std::ostream& os, const IndexBookEntry& entry) {
    os << "{#" << entry.sequence << ", date: ";
    if (entry.date)
        os << *entry.date;
    else
        os << "-";
    os << ", amount: ";
    if (entry.amount)
        os << *entry.amount;
    else
        os << "-";
    return os << ", vendor: \"" << entry.vendor << "\", type: " << entry.documentType << ", file: \""
              << entry.fileName << "\", regno: " << entry.registrationNumber.value_or("-") << ", note: \""
              << entry.note << "\"}";
}

TAVORI_JSON_OBJECT(IndexBookEntry, JsonCoding::member("sequence", &IndexBookEntry::sequence),
                   JsonCoding::member("date", &IndexBookEntry::date),
                   JsonCoding::member("amount", &IndexBookEntry::amount),
                   JsonCoding::member("vendor", &IndexBookEntry::vendor),
                   JsonCoding::member("documentType", &IndexBookEntry::documentType),
                   JsonCoding::member("fileName", &IndexBookEntry::fileName),
                   JsonCoding::member("registrationNumber", &IndexBookEntry::registrationNumber),
                   JsonCoding::member("note", &IndexBookEntry::note),
                   JsonCoding::member("taxBreakdown", &IndexBookEntry::taxBreakdown));

}  // namespace tavori
