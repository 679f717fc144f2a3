#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace tavori {

// One line of text as read from one page. `top` and `left` are fractions of the page from its top-left
// corner.
struct TextLine {
    std::string text;
    double top = 0;
    double left = 0;
    std::int64_t page = 0;
    double confidence = 1.0;
    std::vector<std::string> alternatives;

    bool operator==(const TextLine&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TextLine& line);

// Whether the lines are those of a page in Japanese: sixteen kana or kanji at least. Tesseract makes a few
// kanji of an English scan's smudges (none to three on the public English receipts); a Japanese receipt
// gives dozens even where its print is noisy.
bool readsAsJapanese(std::span<const TextLine> lines);

}  // namespace tavori
