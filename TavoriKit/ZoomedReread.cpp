#include "TavoriKit/ZoomedReread.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/LineRecognizer.h"

namespace tavori::ZoomedReread {

const Pattern& interesting() {
    static const Pattern pattern(
        R"((\d{1,4}\s?[年/.\-]\s?\d{1,2}\s?[月/.\-]\s?\d{1,2})|(令和|平成|R\d|H\d)|(合計|金額|請求|支払|領収|Total|TOTAL|Amount)|[¥$]\s?\d|\d{1,3}(,\d{3})+)");
    return pattern;
}

std::optional<PixelRect> cropRect(int width, int height, const Rect& box) {
    if (width < 1 || height < 1) return std::nullopt;
    const double W = width, H = height;
    const double mx = 6.0 / W + 0.08 * box.width;
    const double my = 0.5 * box.height;
    const double x = std::max(0.0, (box.x - mx) * W);
    const double y = std::max(0.0, (1.0 - box.y - box.height - my) * H);
    const double w = std::min((box.width + 2 * mx) * W, W);
    const double h = std::min((box.height + 2 * my) * H, H);
    if (!std::isfinite(x + y + w + h)) return std::nullopt;
    // Rounded outwards (ignoring floating-point dust), then cut to the image as a crop of it would be.
    constexpr double dust = 1e-6;
    const double x0 = std::floor(x + dust), y0 = std::floor(y + dust);
    const double x1 = std::min(std::ceil(x + w - dust), W), y1 = std::min(std::ceil(y + h - dust), H);
    if (x1 - x0 <= 4 || y1 - y0 <= 4) return std::nullopt;
    return PixelRect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                     static_cast<int>(y1 - y0)};
}

double zoomFactor(double lineHeight, double targetHeight) {
    if (!(lineHeight > 1)) return 4.0;
    return std::clamp(targetHeight / lineHeight, 0.5, 4.0);
}

Image cropUpscaled(const Image& image, const Rect& box, double targetHeight) {
    if (image.empty()) return {};
    const int W = image.width(), H = image.height();
    const auto rect = cropRect(W, H, box);
    if (!rect) return {};
    Image crop = image.clipped(*rect).toGrey();
    if (crop.empty()) return {};

    const std::uint8_t paper = crop.greyPercentile(0.8);
    const std::uint8_t ink = crop.greyPercentile(0.02);
    if (paper - ink >= 48) {
        // Pieces of the neighbouring lines reach into the crop from above and below; an edge that is the
        // image's own border may be touched by the line itself and is left alone.
        unsigned edges = 0;
        if (rect->x > 0) edges |= Image::left;
        if (rect->x + rect->width < W) edges |= Image::right;
        if (rect->y > 0) edges |= Image::top;
        if (rect->y + rect->height < H) edges |= Image::bottom;
        const auto threshold = static_cast<std::uint8_t>((paper + ink) / 2);
        Image cleaned = crop.erasingEdgeInk(threshold, paper, edges);
        if (!cleaned.empty()) crop = std::move(cleaned);
    }

    const double factor = zoomFactor(box.height * H, targetHeight);
    Image zoomed = std::abs(factor - 1.0) < 1e-9 ? std::move(crop) : crop.scaled(factor);
    if (zoomed.empty()) return {};
    const int padding = std::max(4, static_cast<int>(std::lround(targetHeight * 0.25)));
    Image out = zoomed.padded(padding, paper);
    if (image.resolution() > 0) out.setResolution(static_cast<int>(std::lround(image.resolution() * factor)));
    return out;
}

std::vector<TextLine> refine(std::vector<TextLine> lines, std::span<const std::optional<Rect>> boxes,
                             const Image& image, std::int64_t page, const OcrTuning& tuning,
                             const CancellationToken& cancel) {
    const std::size_t count = std::min(lines.size(), boxes.size());
    RecognitionSettings settings;
    settings.pageSegmentation = tuning.rereadSegmentation;
    settings.tryInverted = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (cancel.isCancelled()) break;
        const std::string normalized = TextNormalizer::normalize(lines[i].text);
        if (!interesting().matchesAnywhere(normalized)) continue;
        if (!boxes[i]) continue;
        const Image crop = cropUpscaled(image, *boxes[i], tuning.rereadTargetHeight);
        if (crop.empty()) continue;
        std::vector<TextLine> reread;
        try {
            reread = LineRecognizer::recognizeLines(crop, page, settings, cancel).lines;
        } catch (const std::exception&) {
            continue;  // an optional refinement never fails the reading
        }
        if (reread.empty()) continue;
        std::stable_sort(reread.begin(), reread.end(),
                         [](const TextLine& a, const TextLine& b) { return a.left < b.left; });
        std::string text;
        for (std::size_t k = 0; k < reread.size(); ++k) {
            if (k > 0) text += ' ';
            text += reread[k].text;
        }
        const std::string rereadNormalized = TextNormalizer::normalize(text);
        if (rereadNormalized.empty()) continue;
        if (TextNormalizer::digitsOnly(rereadNormalized) == TextNormalizer::digitsOnly(normalized)) continue;
        lines[i].alternatives.push_back(std::move(text));
    }
    return lines;
}

}  // namespace tavori::ZoomedReread
