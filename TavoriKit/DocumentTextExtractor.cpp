#include "TavoriKit/DocumentTextExtractor.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <system_error>

#include "TavoriCore/Unicode.h"
#include "TavoriKit/ExifOrientation.h"
#include "TavoriKit/HeifImage.h"
#include "TavoriKit/LineMerger.h"
#include "TavoriKit/NumberJoiner.h"
#include "TavoriKit/StructuredOCR.h"
#include "TavoriKit/ZoomedReread.h"

namespace tavori {
namespace {

using Error = DocumentTextExtractorError;

// Larger files are not documents this program reads (an uncompressed 150 MP TIFF is about 450 MB).
constexpr std::uintmax_t kMaxFileBytes = 512ull * 1024 * 1024;

std::string lowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().native();
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || ec) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size == 0 || size > kMaxFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (in.gcount() <= 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool isJpeg(std::span<const std::uint8_t> b) {
    return b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

std::size_t letterOrNumberCount(std::string_view text) {
    std::size_t count = 0;
    for (const auto& character : Unicode::characters(text))
        if (Unicode::isLetter(character) || Unicode::isNumber(character)) ++count;
    return count;
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
    }
    return "ファイルを読み込めませんでした";
}

const char* DocumentTextExtractorError::what() const noexcept {
    return description(case_).data();
}

std::ostream& operator<<(std::ostream& os, DocumentTextExtractorError::Case c) {
    switch (c) {
        case DocumentTextExtractorError::Case::unsupportedFile:
            return os << "unsupportedFile";
        case DocumentTextExtractorError::Case::unreadable:
            return os << "unreadable";
        case DocumentTextExtractorError::Case::emptyPDF:
            return os << "emptyPDF";
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
        Image prepared = loadImage(path, tuning.scaleLargeImages ? 0.9 * kRecognitionPixels : 0);
        if (prepared.empty()) throw Error(Error::Case::unreadable);
        prepared = preparedForRecognition(prepared, tuning.scaleLargeImages);
        document.lines = recognize(prepared, 0, cancel);
        document.source = RecognizedDocument::TextSource::ocr;
        return document;
    }

    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) == 0 || ec)
        throw Error(Error::Case::unreadable);
    const auto pdf = PdfDocument::open(path);
    if (!pdf) throw Error(Error::Case::unreadable);
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
        const Image rendered = render(*page, ocrScale);
        if (rendered.empty()) continue;
        auto lines = recognize(rendered, i, cancel);
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
    RecognizedLines recognized = recognizeLines(image, page, settings, cancel);
    if (!tuning.reread || cancel.isCancelled()) return std::move(recognized.lines);
    return ZoomedReread::refine(std::move(recognized.lines), recognized.boxes, image, page, tuning, cancel);
}

DocumentTextExtractor::RecognizedLines DocumentTextExtractor::recognizeLines(
    const Image& image, std::int64_t page, const RecognitionSettings& settings,
    const CancellationToken& cancel) {
    RecognizedLines out;
    if (image.empty()) return out;
    const double W = image.width(), H = image.height();
    const auto regions = TesseractEngine::forThisThread().recognizeLines(image, settings, cancel);

    std::vector<TextLine> lines;
    std::vector<double> heights;
    std::vector<LineMerger::Observation> observations;
    for (const auto& region : regions) {
        const Rect box{region.box.x / W, 1.0 - (region.box.y + region.box.height) / H, region.box.width / W,
                       region.box.height / H};
        heights.push_back(box.height);
        std::string text = region.text.empty() ? std::string() : NumberJoiner::join(region.text);
        if (!text.empty())
            lines.push_back(TextLine{text, 1.0 - (box.y + box.height), box.x, page, region.confidence, {}});
        observations.push_back({box, std::move(text)});
    }
    out.lines = LineMerger::merge(lines, heights);
    out.boxes = LineMerger::boxes(out.lines, observations);
    return out;
}

Image DocumentTextExtractor::loadImage(const std::filesystem::path& path, double minimumPixels) {
    const auto bytes = readFile(path);
    if (!bytes) return {};
    const bool heif = HeifImage::looksLikeHeif(*bytes);
    const auto header = heif ? HeifImage::readHeader(*bytes) : Leptonica::readHeader(*bytes);
    if (!header || header->width > kMaxImageSide || header->height > kMaxImageSide ||
        static_cast<double>(header->width) * header->height > kMaxImagePixels)
        return {};
    if (heif) return HeifImage::decode(*bytes, kMaxImagePixels);  // libheif applies the container's rotation
    const bool jpeg = isJpeg(*bytes);
    // libjpeg decodes at 1/2, 1/4 or 1/8 directly: the smallest that still has minimumPixels.
    int reduction = 1;
    while (jpeg && minimumPixels > 0 && reduction < 8 &&
           static_cast<double>(header->width / (2 * reduction)) * (header->height / (2 * reduction)) >=
               minimumPixels)
        reduction *= 2;
    Image image = Leptonica::decode(*bytes, reduction);
    if (image.empty()) return {};
    if (jpeg) {
        const int orientation = ExifOrientation::read(*bytes);
        if (orientation != 1) return oriented(image, orientation);
    }
    return image;
}

Image DocumentTextExtractor::render(const PdfPage& page, double scale) {
    const PageSize size = page.mediaBox();
    const double area = size.width * size.height;
    if (area > 0 && area * scale * scale > PdfPage::kMaxRenderPixels)
        scale = std::sqrt(PdfPage::kMaxRenderPixels / area) * 0.999;
    return page.render(scale);
}

Image DocumentTextExtractor::oriented(const Image& image, int orientation) {
    switch (orientation) {
        case 2:
            return image.flippedLeftRight();
        case 3:
            return image.rotated180();
        case 4:
            return image.flippedTopBottom();
        case 5:
            return image.rotated90(true).flippedLeftRight();
        case 6:
            return image.rotated90(true);
        case 7:
            return image.rotated90(true).flippedTopBottom();
        case 8:
            return image.rotated90(false);
        default:
            return image.copy();
    }
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
