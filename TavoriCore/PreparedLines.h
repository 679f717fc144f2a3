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
// and every extractor share one reading of a line instead of each making its own. A line is prepared when it
// is first asked for: extractors that pass over lines without digits never pay for them.
//
// The lines themselves are not copied: they must outlive this object. Preparing fills a cache, so one object
// must not be used by several threads at once.
class PreparedLines {
  public:
    explicit PreparedLines(std::span<const TextLine> lines) : lines_(lines), prepared_(lines.size()) {}

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    std::span<const TextLine> lines() const { return lines_; }
    // The line at `i` as read.
    const TextLine& line(std::size_t i) const { return lines_[i]; }
    // The line at `i` normalised (`TextNormalizer::normalize`) and prepared for keyword search.
    const Unicode::PreparedText& prepared(std::size_t i) const;
    const std::string& normalized(std::size_t i) const { return prepared(i).text(); }

  private:
    std::span<const TextLine> lines_;
    mutable std::vector<std::optional<Unicode::PreparedText>> prepared_;
};

}  // namespace tavori
