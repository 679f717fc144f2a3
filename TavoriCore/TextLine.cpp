#include "TavoriCore/TextLine.h"

namespace tavori {

std::ostream& operator<<(std::ostream& os, const TextLine& line) {
    os << "TextLine{\"" << line.text << "\" top:" << line.top << " left:" << line.left
       << " page:" << line.page << " confidence:" << line.confidence;
    if (!line.alternatives.empty()) {
        os << " alternatives:";
        for (const auto& a : line.alternatives) os << " \"" << a << '"';
    }
    return os << '}';
}

}  // namespace tavori
