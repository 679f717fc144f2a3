#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TavoriCore/KeywordSearch.h"
#include "TavoriCore/TextLine.h"

namespace tavori {

// A document's lines, each normalised and prepared for keyword search at most once, so that the type detector
// and every extractor share one reading of a line instead of each making its own. Each form is made when it
// is first asked for: extractors that pass over lines without digits never pay for them, and one that only
// reads the normalised text does not prepare it for search.
//
// The lines themselves are not copied: they must outlive this object. Preparing fills a cache, so one object
// must not be used by several threads at once.
class PreparedLines {
  public:
    explicit PreparedLines(std::span<const TextLine> lines) : lines_(lines), entries_(lines.size()) {}

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    std::span<const TextLine> lines() const { return lines_; }
    // The line at `i` as read.
    const TextLine& line(std::size_t i) const { return lines_[i]; }
    // The line at `i` normalised (`TextNormalizer::normalize`) and prepared for keyword search.
    const Unicode::PreparedText& prepared(std::size_t i) const;
    // The same text as `prepared(i).text()`. References to either form stay valid for the object's life.
    const std::string& normalized(std::size_t i) const;

  private:
    struct Entry {
        // Provided, so that making the entries only marks both forms absent instead of zeroing every byte.
        Entry() {}

        std::optional<std::string> normalized;
        std::optional<Unicode::PreparedText> prepared;
    };

    std::span<const TextLine> lines_;
    mutable std::vector<Entry> entries_;
};

}  // namespace tavori
