#include "TavoriCore/PreparedLines.h"

#include "TavoriCore/TextNormalizer.h"

namespace tavori {

const Unicode::PreparedText& PreparedLines::prepared(std::size_t i) const {
    Entry& e = entries_[i];
    // The normalised text is copied rather than moved, so that a reference to it stays valid.
    if (!e.prepared)
        e.prepared.emplace(e.normalized ? *e.normalized : TextNormalizer::normalize(lines_[i].text));
    return *e.prepared;
}

const std::string& PreparedLines::normalized(std::size_t i) const {
    Entry& e = entries_[i];
    // Normalising gives valid UTF-8, which preparing keeps as it is.
    if (e.prepared) return e.prepared->text();
    if (!e.normalized) e.normalized = TextNormalizer::normalize(lines_[i].text);
    return *e.normalized;
}

}  // namespace tavori
