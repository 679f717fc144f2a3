#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/TextLine.h"

namespace tavori {

// The text of one document file, all pages, in the order the reader produced it.
struct RecognizedDocument {
    enum class TextSource { pdfTextLayer, ocr };

    std::vector<TextLine> lines;
    TextSource source = TextSource::ocr;

    bool operator==(const RecognizedDocument&) const = default;

    // The lines in reading order: page, then row (tops within 0.004 share a row), then left to right.
    std::vector<TextLine> sortedLines() const;

    static RecognizedDocument fromPlainText(std::string_view text, TextSource source, std::int64_t page);
};

std::string_view rawValue(RecognizedDocument::TextSource source);
std::optional<RecognizedDocument::TextSource> textSourceFromRawValue(std::string_view raw);

}  // namespace tavori
