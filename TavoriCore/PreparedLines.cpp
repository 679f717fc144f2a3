#include "TavoriCore/PreparedLines.h"

#include "TavoriCore/TextNormalizer.h"

namespace tavori {

const Unicode::PreparedText& PreparedLines::prepared(std::size_t i) const {
    std::optional<Unicode::PreparedText>& entry = prepared_[i];
    if (!entry) entry.emplace(TextNormalizer::normalize(lines_[i].text));
    return *entry;
}

}  // namespace tavori
