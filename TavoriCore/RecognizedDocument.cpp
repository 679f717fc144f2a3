#include "TavoriCore/RecognizedDocument.h"

#include <cmath>
#include <cstddef>

#include "TavoriCore/JsonCoding.h"
#include "TavoriCore/Unicode.h"

namespace tavori {
namespace {

bool comesFirst(const TextLine& a, const TextLine& b) {
    if (a.page != b.page) return a.page < b.page;
    if (std::fabs(a.top - b.top) > 0.004) return a.top < b.top;
    return a.left < b.left;
}

// Bottom-up merge sort: stable, and bounded for any answers of the test, which is not transitive (rows within
// the tolerance chain into cycles), so std::stable_sort's requirements do not hold.
void mergeSort(std::vector<TextLine>& lines) {
    const std::size_t n = lines.size();
    std::vector<TextLine> buffer(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                buffer[k++] = std::move(comesFirst(lines[j], lines[i]) ? lines[j++] : lines[i++]);
            while (i < mid) buffer[k++] = std::move(lines[i++]);
            while (j < hi) buffer[k++] = std::move(lines[j++]);
        }
        lines.swap(buffer);
    }
}

constexpr JsonCoding::RawValues<RecognizedDocument::TextSource, 2> kTextSources{{{
    {RecognizedDocument::TextSource::pdfTextLayer, "pdfTextLayer"},
    {RecognizedDocument::TextSource::ocr, "ocr"},
}}};

}  // namespace

std::vector<TextLine> RecognizedDocument::sortedLines() const {
    std::vector<TextLine> sorted = lines;
    mergeSort(sorted);
    return sorted;
}

RecognizedDocument RecognizedDocument::fromPlainText(std::string_view text, TextSource source,
                                                     std::int64_t page) {
    const std::string valid = Unicode::toValidUtf8(text);
    std::vector<std::string> pieces;
    std::size_t pieceStart = 0;
    for (std::size_t i = 0; i <= valid.size();) {
        const std::size_t at = i;
        const bool atEnd = i == valid.size();
        const char32_t c = atEnd ? 0 : Unicode::nextScalar(valid, i);
        if (atEnd || Unicode::isNewline(c)) {
            std::string piece = Unicode::trim(std::string_view(valid).substr(pieceStart, at - pieceStart));
            if (!piece.empty()) pieces.push_back(std::move(piece));
            pieceStart = i;
            if (atEnd) break;
        }
    }
    RecognizedDocument document;
    document.source = source;
    const auto n = static_cast<double>(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        document.lines.push_back(
            TextLine{std::move(pieces[i]), static_cast<double>(i) / n, 0, page, 1.0, {}});
    return document;
}

std::string_view rawValue(RecognizedDocument::TextSource source) {
    return kTextSources.rawValue(source);
}

std::optional<RecognizedDocument::TextSource> textSourceFromRawValue(std::string_view raw) {
    return kTextSources.fromRawValue(raw);
}

}  // namespace tavori
