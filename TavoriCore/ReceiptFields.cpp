#include "TavoriCore/ReceiptFields.h"

#include "TavoriCore/JsonCoding.h"

namespace tavori {

bool asksForReview(const ReceiptFields& fields) {
    return fields.confidence.needsReview() || !fields.isComplete();
}

std::ostream& operator<<(std::ostream& os, const ReceiptFields& fields) {
    os << "{date: ";
    if (fields.date)
        os << *fields.date;
    else
        os << "-";
    os << ", vendor: \"" << fields.vendor << "\", amount: ";
    if (fields.amount)
        os << *fields.amount;
    else
        os << "-";
    os << ", type: " << fields.documentType << ", regno: " << fields.registrationNumber.value_or("-")
       << ", confidence: " << fields.confidence;
    if (!fields.taxBreakdown.empty()) {
        os << ", taxBreakdown: [";
        for (std::size_t i = 0; i < fields.taxBreakdown.size(); ++i)
            os << (i ? ", " : "") << fields.taxBreakdown[i];
        os << "]";
    }
    os << "}";
    return os;
}

TAVORI_JSON_OBJECT(ReceiptFields, JsonCoding::member("date", &ReceiptFields::date),
                   JsonCoding::member("vendor", &ReceiptFields::vendor),
                   JsonCoding::member("amount", &ReceiptFields::amount),
                   JsonCoding::member("documentType", &ReceiptFields::documentType),
                   JsonCoding::member("registrationNumber", &ReceiptFields::registrationNumber),
                   JsonCoding::member("confidence", &ReceiptFields::confidence),
                   JsonCoding::defaultedMember("taxBreakdown", &ReceiptFields::taxBreakdown));

}  // namespace tavori
