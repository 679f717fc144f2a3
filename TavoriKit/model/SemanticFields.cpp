#include "TavoriKit/model/SemanticFields.h"

namespace tavori {

namespace {

template <class T>
void print(std::ostream& os, const char* name, const std::optional<T>& value) {
    os << name << '=';
    if (value) {
        os << *value;
    } else {
        os << '-';
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const SemanticFields& fields) {
    os << "SemanticFields{";
    print(os, "date", fields.date);
    print(os, " vendor", fields.vendor);
    print(os, " amount", fields.amount);
    print(os, " type", fields.documentType);
    print(os, " regno", fields.registrationNumber);
    return os << '}';
}

}  // namespace tavori
