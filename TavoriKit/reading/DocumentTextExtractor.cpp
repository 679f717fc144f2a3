#include "TavoriKit/reading/DocumentTextExtractor.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/Unicode.h"
#include "TavoriKit/reading/ImageLoader.h"
#include "TavoriKit/reading/LineRecognizer.h"
#include "TavoriKit/reading/ZoomedReread.h"

namespace tavori {
namespace {

using Error = DocumentTextExtractorError;

std::string lowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().native();
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::size_t letterOrNumberCount(std::string_view text) {
    std::size_t count = 0;
    for (const auto& character : Unicode::characters(text))
        if (Unicode::isLetter(character) || Unicode::isNumber(character)) ++count;
    return count;
}

// Whether the lines read so far already give a date and a total the rules are sure of: reading them again
// costs more than the page pass and could only offer alternatives to readings that are certain.
bool certain(const std::vector<TextLine>& lines) {
    RecognizedDocument read;
    read.lines = lines;
    read.source = RecognizedDocument::TextSource::ocr;
    const ReceiptFields fields = ReceiptAnalyzer::analyze(read, {});
    return fields.confidence.date == FieldConfidence::Level::high &&
           fields.confidence.amount == FieldConfidence::Level::high;
}

}  // namespace

std::string_view DocumentTextExtractorError::description(Case c) {
    switch (c) {
        case Case::unsupportedFile:
            return "対応していないファイル形式です（PDF・JPEG・PNG・HEIC・TIFFに対応）";
        case Case::unreadable:
            return "ファイルを読み込めませんでした";
        case Case::emptyPDF:
            return "PDFにページがありません";
        case Case::pageTooSlow:
            return "ページの読み取りが時間内に終わらなかったため中止しました（図形だけで描かれたページなど、"
                   "文字として読み取れないページです）";
    }
    return "ファイルを読み込めませんでした";
}

DocumentTextExtractorError::DocumentTextExtractorError(Case c, Failure failure)
    : case_(c),
      failure_(c == Case::unreadable && failure == Failure::none ? Failure::damaged
               : c == Case::unreadable                           ? failure
                                                                 : Failure::none),
      message_(description(c)) {
    if (failure_ != Failure::none) message_ += "（" + std::string(DocumentFile::reason(failure_)) + "）";
}

std::ostream& operator<<(std::ostream& os, DocumentTextExtractorError::Case c) {
    switch (c) {
        case DocumentTextExtractorError::Case::unsupportedFile:
            return os << "unsupportedFile";
        case DocumentTextExtractorError::Case::unreadable:
            return os << "unreadable";
        case DocumentTextExtractorError::Case::emptyPDF:
            return os << "emptyPDF";
        case DocumentTextExtractorError::Case::pageTooSlow:
            return os << "pageTooSlow";
    }
    return os << "?";
}

const std::set<std::string>& DocumentTextExtractor::supportedExtensions() {
    static const std::set<std::string> extensions{"pdf", "jpg",  "jpeg", "png", "heic", "heif",
                                                  "tif", "tiff", "gif",  "bmp", "webp"};
    return extensions;
}

bool DocumentTextExtractor::isSupported(const std::filesystem::path& path) {
    return supportedExtensions().contains(lowerExtension(path));
}

RecognizedDocument DocumentTextExtractor::extract(const std::filesystem::path& path,
                                                  const CancellationToken& cancel) const {
    const std::string ext = lowerExtension(path);
    if (!supportedExtensions().contains(ext)) throw Error(Error::Case::unsupportedFile);

    RecognizedDocument document;
    if (ext != "pdf") {
        // Anything beyond the recognition size would only be shrunk again; a JPEG decoded at a little under
        // it (a 600 dpi A4 scan at half size) is close enough to 300 dpi and saves decoding it whole.
        ImageLoader::Loaded loaded =
            ImageLoader::read(path, tuning.scaleLargeImages ? 0.9 * kRecognitionPixels : 0);
        if (loaded.image.empty()) throw Error(Error::Case::unreadable, loaded.failure);
        Image prepared = std::move(loaded.image);
        prepared = preparedForRecognition(prepared, tuning.scaleLargeImages);
        document.lines = recognize(prepared, 0, cancel);
        document.source = RecognizedDocument::TextSource::ocr;
        return document;
    }

    if (const auto failure = DocumentFile::checkPdf(path); failure != DocumentFile::Failure::none)
        throw Error(Error::Case::unreadable, failure);
    DocumentFile::Failure failure = DocumentFile::Failure::none;
    const auto pdf = PdfDocument::open(path, &failure);
    if (!pdf) throw Error(Error::Case::unreadable, failure);
    const int pageCount = pdf->pageCount();
    if (pageCount < 1) throw Error(Error::Case::emptyPDF);

    bool usedOcr = false;
    const int n = std::min(std::max(maxPages, 0), pageCount);
    for (int i = 0; i < n && !cancel.isCancelled(); ++i) {
        const auto page = pdf->page(i);
        if (!page) continue;
        const std::string text = page->text();
        if (letterOrNumberCount(text) >= 20) {
            auto layer =
                RecognizedDocument::fromPlainText(text, RecognizedDocument::TextSource::pdfTextLayer, i);
            document.lines.insert(document.lines.end(), std::make_move_iterator(layer.lines.begin()),
                                  std::make_move_iterator(layer.lines.end()));
            continue;
        }
        const CancellationToken pageCancel = cancel.limitedTo(pageTimeLimit);
        const Image rendered = render(*page, ocrScale, &pageCancel);
        if (pageCancel.isCancelled() && !cancel.isCancelled()) throw Error(Error::Case::pageTooSlow);
        if (rendered.empty()) continue;
        auto lines = recognize(rendered, i, pageCancel);
        if (pageCancel.expired() && !cancel.isCancelled()) throw Error(Error::Case::pageTooSlow);
        document.lines.insert(document.lines.end(), std::make_move_iterator(lines.begin()),
                              std::make_move_iterator(lines.end()));
        usedOcr = true;
    }
    document.source =
        usedOcr ? RecognizedDocument::TextSource::ocr : RecognizedDocument::TextSource::pdfTextLayer;
    return document;
}

std::vector<TextLine> DocumentTextExtractor::recognize(const Image& image, std::int64_t page,
                                                       const CancellationToken& cancel) const {
    RecognitionSettings settings;
    settings.pageSegmentation = tuning.pageSegmentation;
    LineRecognizer::RecognizedLines recognized =
        LineRecognizer::recognizeLines(image, page, settings, cancel);
    // A narrow receipt photographed or scanned at high resolution keeps print several times the height
    // Tesseract reads best even at 300 dpi A4 (a ¥ read as 3), so such a page is read again with its text
    // brought to body-text height.
    const Image* read = &image;
    Image smaller;
    const double body = ZoomedReread::medianLineHeight(recognized.boxes, image.height());
    if (tuning.scaleLargeImages && body > kLargestBodyHeight && !cancel.isCancelled()) {
        const double factor = kBodyHeight / body;
        smaller = image.scaled(factor);
        if (!smaller.empty()) {
            if (image.resolution() > 0)
                smaller.setResolution(static_cast<int>(std::lround(image.resolution() * factor)));
            recognized = LineRecognizer::recognizeLines(smaller, page, settings, cancel);
            read = &smaller;
        }
    }
    std::vector<TextLine> lines = std::move(recognized.lines);
    using Certain = OcrTuning::CertainPages;
    const bool sure = tuning.certainPages == Certain::namesOnly && certain(lines);
    if (tuning.reread && !cancel.isCancelled())
        lines = ZoomedReread::refine(std::move(lines), recognized.boxes, *read, page, tuning, cancel,
                                     sure ? ZoomedReread::Rows::tallWords : ZoomedReread::Rows::all);
    if (sure || (tuning.certainPages == Certain::skipNeural && tuning.neuralRows && certain(lines)))
        return lines;
    // Loaded only for a step that reads with it: loading costs more than a page without it.
    NeuralReader* neural =
        tuning.neuralRows || tuning.neuralPageDates ? NeuralReader::forThisThread(neuralModels) : nullptr;
    if (tuning.neuralRows && !cancel.isCancelled())
        lines = NeuralRows::read(std::move(lines), recognized.boxes, *read, neural, cancel);
    if (tuning.neuralPageDates && !cancel.isCancelled())
        lines = NeuralRows::dateFromWholePage(std::move(lines), *read, page, neural, neuralModels, cancel);
    return lines;
}

Image DocumentTextExtractor::render(const PdfPage& page, double scale, const CancellationToken* cancel) {
    const PageSize size = page.mediaBox();
    const double area = size.width * size.height;
    if (area > 0 && area * scale * scale > PdfPage::kMaxRenderPixels)
        scale = std::sqrt(PdfPage::kMaxRenderPixels / area) * 0.999;
    return page.render(scale, false, PdfPage::kMaxRenderPixels, cancel);
}

Image DocumentTextExtractor::preparedForRecognition(const Image& image, bool scaleLarge) {
    // Tesseract reads grey values; a colour photo would cost four times the memory on every copy it makes.
    const double pixels = static_cast<double>(image.width()) * image.height();
    if (!scaleLarge || pixels <= kRecognitionPixels * 1.05) return image.toGrey();
    const double factor = std::sqrt(kRecognitionPixels / pixels);
    Image scaled = image.toGrey().scaled(factor);
    if (scaled.empty()) return image.toGrey();
    if (image.resolution() > 0)
        scaled.setResolution(static_cast<int>(std::lround(image.resolution() * factor)));
    return scaled;
}

}  // namespace tavori
