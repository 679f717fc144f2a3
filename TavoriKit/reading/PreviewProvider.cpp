#include "TavoriKit/reading/PreviewProvider.h"

#include <algorithm>
#include <cmath>

#include "TavoriKit/reading/ImageLoader.h"
#include "TavoriKit/reading/PdfDocument.h"

namespace tavori {
namespace {

std::optional<RgbImage> toRgbImage(const Image& image, double displayWidth, double displayHeight) {
    if (image.empty()) return std::nullopt;
    RgbImage out;
    out.width = image.width();
    out.height = image.height();
    out.pixels = image.rgbBytes();
    out.displayWidth = displayWidth;
    out.displayHeight = displayHeight;
    if (out.pixels.empty()) return std::nullopt;
    return out;
}

bool isPdf(const std::filesystem::path& path) {
    std::string ext = path.extension().native();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".pdf";
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const RgbImage& image) {
    return os << "RgbImage{" << image.width << 'x' << image.height << " shown " << image.displayWidth << 'x'
              << image.displayHeight << '}';
}

namespace PreviewProvider {

std::optional<RgbImage> thumbnail(const std::filesystem::path& path, double maxPixel) {
    if (!(maxPixel >= 1) || !std::isfinite(maxPixel)) return std::nullopt;
    if (isPdf(path)) {
        const auto pdf = PdfDocument::open(path);
        if (!pdf) return std::nullopt;
        const auto page = pdf->page(0);
        if (!page) return std::nullopt;
        const PageSize size = page->mediaBox();
        const double scale =
            std::min(maxPixel / std::max(size.width, 1.0), maxPixel / std::max(size.height, 1.0));
        return toRgbImage(page->render(scale, true), scale * size.width, scale * size.height);
    }
    // The longest side of any image is at least the root of its area, so this many pixels keep maxPixel.
    const Image image = ImageLoader::load(path, maxPixel * maxPixel);
    if (image.empty()) return std::nullopt;
    const double w = image.width(), h = image.height();
    const double scale = std::min({maxPixel / std::max(w, 1.0), maxPixel / std::max(h, 1.0), 1.0});
    // The list shows the picture at its display size; keeping a full photo's pixels for it would hold tens of
    // megabytes per document, so the pixels are resampled to that size too.
    if (scale >= 1.0) return toRgbImage(image, w, h);
    const int pw = std::max(1, static_cast<int>(std::lround(scale * w)));
    const int ph = std::max(1, static_cast<int>(std::lround(scale * h)));
    return toRgbImage(image.scaledTo(pw, ph), scale * w, scale * h);
}

}  // namespace PreviewProvider

}  // namespace tavori
