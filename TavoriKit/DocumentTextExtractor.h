#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/RecognizedDocument.h"
#include "TavoriKit/CancellationToken.h"
#include "TavoriKit/Image.h"
#include "TavoriKit/OcrTuning.h"
#include "TavoriKit/PdfDocument.h"
#include "TavoriKit/Rect.h"
#include "TavoriKit/TesseractEngine.h"

namespace tavori {

// A failure the user sees, with its Japanese description as what().
class DocumentTextExtractorError : public std::exception {
  public:
    enum class Case { unsupportedFile, unreadable, emptyPDF };

    explicit DocumentTextExtractorError(Case c) : case_(c) {}
    Case errorCase() const { return case_; }
    const char* what() const noexcept override;
    static std::string_view description(Case c);

  private:
    Case case_;
};

std::ostream& operator<<(std::ostream& os, DocumentTextExtractorError::Case c);

// Reads one PDF or image file into recognised text: a PDF page's own text layer when it holds at least 20
// letters or digits, otherwise the page rendered and recognised; images are always recognised.
struct DocumentTextExtractor {
    int maxPages = 3;
    double ocrScale = 2.5;  // pixels per point for rendering PDF pages (180 dpi)
    OcrTuning tuning;

    // The result of one recognition pass over one image: merged lines and one box per line (normalised,
    // origin bottom-left; nothing when no recogniser result belongs to the line).
    struct RecognizedLines {
        std::vector<TextLine> lines;
        std::vector<std::optional<Rect>> boxes;
    };

    // Images that declare more are refused before decoding, as decompression bombs.
    static constexpr double kMaxImagePixels = 150e6;
    static constexpr int kMaxImageSide = 30000;
    // An A4 page at 300 dpi; larger images are scaled down to this many pixels before recognition.
    static constexpr double kRecognitionPixels = 2480.0 * 3508.0;

    static const std::set<std::string>& supportedExtensions();
    // By the path's extension, compared in lower case.
    static bool isSupported(const std::filesystem::path& path);

    // Throws DocumentTextExtractorError, or TextRecognizerError when the recogniser cannot start. When
    // `cancel` fires, stops between pages and re-reads and returns what it has; the caller discards it.
    RecognizedDocument extract(const std::filesystem::path& path, const CancellationToken& cancel = {}) const;

    // One recognition pass (Tesseract lines, split numbers joined, fragments merged into rows).
    static RecognizedLines recognizeLines(const Image& image, std::int64_t page,
                                          const RecognitionSettings& settings = {},
                                          const CancellationToken& cancel = {});

    // The image upright (EXIF orientation of JPEG files applied; TIFF and HEIF apply their own), or empty
    // when the file cannot be read, is not an image, or declares more than kMaxImagePixels or a side over
    // kMaxImageSide. A large JPEG may come back smaller, though never below `minimumPixels` (0: full size).
    static Image loadImage(const std::filesystem::path& path, double minimumPixels = 0);
    // One PDF page at `scale` pixels per point on white, scaled down when it would exceed the render limit.
    static Image render(const PdfPage& page, double scale);
    // `image` with an EXIF orientation (1 to 8) applied; other values return a copy.
    static Image oriented(const Image& image, int orientation);
    // The image as it goes to the recogniser: above kRecognitionPixels shrunk to about 300 dpi A4.
    static Image preparedForRecognition(const Image& image, bool scaleLarge = true);

  private:
    std::vector<TextLine> recognize(const Image& image, std::int64_t page,
                                    const CancellationToken& cancel) const;
};

}  // namespace tavori
