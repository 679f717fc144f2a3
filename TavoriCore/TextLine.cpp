#include "TavoriCore/TextLine.h"

#include "TavoriCore/Pattern.h"

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

bool readsAsJapanese(std::span<const TextLine> lines) {
    static const Pattern japanese(R"([\p{Hiragana}\p{Katakana}\p{Han}])");
    constexpr std::size_t kJapaneseLetters = 16;
    std::size_t letters = 0;
    for (const TextLine& line : lines)
        if ((letters += japanese.matches(line.text).size()) >= kJapaneseLetters) return true;
    return false;
}

}  // namespace tavori
