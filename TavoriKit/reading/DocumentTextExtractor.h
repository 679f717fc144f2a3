#pragma once

#include <chrono>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/RecognizedDocument.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/DocumentFile.h"
#include "TavoriKit/reading/Image.h"
#include "TavoriKit/reading/NeuralReader.h"
#include "TavoriKit/reading/OcrTuning.h"
#include "TavoriKit/reading/PdfDocument.h"
#include "TavoriKit/reading/TesseractEngine.h"

namespace tavori {

// A failure the user sees, with its Japanese description as what(). An unreadable file's description names
// the reason in brackets: 「ファイルを読み込めませんでした（ファイルが空です）」.
class DocumentTextExtractorError : public std::exception {
  public:
    enum class Case { unsupportedFile, unreadable, emptyPDF, pageTooSlow };
    using Failure = DocumentFile::Failure;

    // An unreadable file without a known reason is given the generic one.
    explicit DocumentTextExtractorError(Case c, Failure failure = Failure::none);
    Case errorCase() const { return case_; }
    // Why an unreadable file could not be read; `none` for the other cases.
    Failure failure() const { return failure_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // The designed sentence of each case, without a reason.
    static std::string_view description(Case c);

  private:
    Case case_;
    Failure failure_;
    std::string message_;
};

std::ostream& operator<<(std::ostream& os, DocumentTextExtractorError::Case c);

// Reads one PDF or image file into recognised text: a PDF page's own text layer when it holds at least 20
// letters or digits, otherwise the page rendered and recognised; images are always recognised.
struct DocumentTextExtractor {
    int maxPages = 3;
    double ocrScale = 2.5;  // pixels per point for rendering PDF pages (180 dpi)
    // How long rendering and recognising one PDF page may take; a page of vector drawings alone can take
    // minutes and holds no text the reading would find.
    std::chrono::milliseconds pageTimeLimit{30'000};
    OcrTuning tuning;
    // Where the neural second reader's model is; nothing is read by it when the model is not there.
    std::filesystem::path neuralModels = NeuralReader::modelFolder();

    // An A4 page at 300 dpi; larger images are scaled down to this many pixels before recognition.
    static constexpr double kRecognitionPixels = 2480.0 * 3508.0;
    // A page whose median text row is taller than this many pixels is read again with its rows brought to
    // kBodyHeight: Tesseract reads lines of about 32 to 48 pixels best.
    static constexpr double kLargestBodyHeight = 72;
    static constexpr double kBodyHeight = 40;

    static const std::set<std::string>& supportedExtensions();
    // By the path's extension, compared in lower case.
    static bool isSupported(const std::filesystem::path& path);

    // Throws DocumentTextExtractorError, or TextRecognizerError when the recogniser cannot start. When
    // `cancel` fires, stops between pages and re-reads and returns what it has; the caller discards it.
    RecognizedDocument extract(const std::filesystem::path& path, const CancellationToken& cancel = {}) const;

    // One PDF page at `scale` pixels per point on white, scaled down when it would exceed the render limit;
    // empty when `cancel` stops the drawing.
    static Image render(const PdfPage& page, double scale, const CancellationToken* cancel = nullptr);
    // The image as it goes to the recogniser: above kRecognitionPixels shrunk to about 300 dpi A4.
    static Image preparedForRecognition(const Image& image, bool scaleLarge = true);

  private:
    std::vector<TextLine> recognize(const Image& image, std::int64_t page,
                                    const CancellationToken& cancel) const;
};

}  // namespace tavori
