#include "TavoriKit/StructuredOCR.h"

namespace tavori::StructuredOCR {

bool isAvailable() {
    return false;
}

std::vector<TextLine> tableRows(const Image&, std::int64_t) {
    return {};
}

}  // namespace tavori::StructuredOCR
