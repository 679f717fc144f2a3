#include "TavoriKit/reading/ZoomedReread.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>

#include "TavoriCore/AmountExtractor.h"
#include "TavoriCore/DateExtractor.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/LineRecognizer.h"

namespace tavori::ZoomedReread {
namespace {

// Sideways margin of a crop: 6 pixels, because the recogniser's line boxes often cut the outer strokes of the
// first and last glyph, plus 8% of the line's width for a box that missed a whole character at either end.
constexpr double kMarginPixels = 6.0;
constexpr double kMarginOfWidth = 0.08;
// Above and below, half a line: enough for accents and descenders, too little to take in a whole
// neighbouring line.
constexpr double kMarginOfHeight = 0.5;
// A crop this many pixels wide or high holds no character the recogniser could read.
constexpr double kSmallestCrop = 4.0;
// Enlarging beyond four times only blurs a tiny line, and the recogniser's time grows with the area. A line
// of unknown height gets the largest zoom.
constexpr double kMostZoom = 4.0;
// Paper is the 80th percentile of grey (a receipt line is mostly paper), ink the 2nd (the darkest strokes,
// past a few noisy pixels).
constexpr double kPaperPercentile = 0.8;
constexpr double kInkPercentile = 0.02;
// Below this difference between paper and ink (about a fifth of the grey range) the two cannot be told apart
// reliably, so stray ink at the edges is left alone rather than erasing strokes of the line.
constexpr int kLeastContrast = 48;
// White space around the zoomed line, a quarter of the target height and at least 4 pixels: the recogniser
// finds lines that touch the image border less reliably.
constexpr double kPaddingOfTarget = 0.25;
constexpr int kLeastPadding = 4;

}  // namespace

const Pattern& interesting() {
    static const Pattern pattern(
        R"((\d{1,4}\s?[年/.\-]\s?\d{1,2}\s?[月/.\-]\s?\d{1,2})|(令和|平成|R\d|H\d)|(合計|金額|請求|支払|領収|Total|TOTAL|Amount)|[¥$]\s?\d|\d{1,3}(,\d{3})+|\d{1,3}\.\d{3}(?!\d))");
    return pattern;
}

std::optional<PixelRect> cropRect(int width, int height, const Rect& box) {
    if (width < 1 || height < 1) return std::nullopt;
    const double W = width, H = height;
    const double mx = kMarginPixels / W + kMarginOfWidth * box.width;
    const double my = kMarginOfHeight * box.height;
    const double x = std::max(0.0, (box.x - mx) * W);
    const double y = std::max(0.0, (1.0 - box.y - box.height - my) * H);
    const double w = std::min((box.width + 2 * mx) * W, W);
    const double h = std::min((box.height + 2 * my) * H, H);
    if (!std::isfinite(x + y + w + h)) return std::nullopt;
    // Rounded outwards (ignoring floating-point dust), then cut to the image as a crop of it would be.
    constexpr double dust = 1e-6;
    const double x0 = std::floor(x + dust), y0 = std::floor(y + dust);
    const double x1 = std::min(std::ceil(x + w - dust), W), y1 = std::min(std::ceil(y + h - dust), H);
    if (x1 - x0 <= kSmallestCrop || y1 - y0 <= kSmallestCrop) return std::nullopt;
    return PixelRect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                     static_cast<int>(y1 - y0)};
}

double zoomFactor(double lineHeight, double targetHeight, double minimum) {
    if (!(lineHeight > 1)) return kMostZoom;
    return std::clamp(targetHeight / lineHeight, minimum, kMostZoom);
}

Image cropUpscaled(const Image& image, const Rect& box, double targetHeight, double minimumZoom) {
    if (image.empty()) return {};
    const int W = image.width(), H = image.height();
    const auto rect = cropRect(W, H, box);
    if (!rect) return {};
    Image crop = image.clipped(*rect).toGrey();
    if (crop.empty()) return {};

    const std::uint8_t paper = crop.greyPercentile(kPaperPercentile);
    const std::uint8_t ink = crop.greyPercentile(kInkPercentile);
    if (paper - ink >= kLeastContrast) {
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

    const double factor = zoomFactor(box.height * H, targetHeight, minimumZoom);
    Image zoomed = std::abs(factor - 1.0) < 1e-9 ? std::move(crop) : crop.scaled(factor);
    if (zoomed.empty()) return {};
    const int padding =
        std::max(kLeastPadding, static_cast<int>(std::lround(targetHeight * kPaddingOfTarget)));
    Image out = zoomed.padded(padding, paper);
    if (image.resolution() > 0) out.setResolution(static_cast<int>(std::lround(image.resolution() * factor)));
    return out;
}

double medianLineHeight(std::span<const std::optional<Rect>> boxes, int imageHeight) {
    std::vector<double> heights;
    for (const auto& box : boxes)
        if (box && box->height > 0) heights.push_back(box->height * imageHeight);
    if (heights.empty()) return 0;
    const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), middle, heights.end());
    return *middle;
}

namespace {

// One crop read as a single line, its pieces joined left to right; empty when nothing was read.
std::string readCrop(const Image& crop, std::int64_t page, const RecognitionSettings& settings,
                     const CancellationToken& cancel) {
    std::vector<TextLine> reread;
    try {
        reread = LineRecognizer::recognizeLines(crop, page, settings, cancel).lines;
    } catch (const std::exception&) {
        return {};  // an optional refinement never fails the reading
    }
    std::stable_sort(reread.begin(), reread.end(),
                     [](const TextLine& a, const TextLine& b) { return a.left < b.left; });
    std::string text;
    for (std::size_t k = 0; k < reread.size(); ++k) {
        if (k > 0) text += ' ';
        text += reread[k].text;
    }
    return text;
}

// A total's label: a row whose reading can decide the total by itself.
const Pattern& totalWords() {
    static const Pattern pattern(R"(合計|金額|請求|支払|領収|Total|TOTAL|Amount)");
    return pattern;
}

// No price is printed with a zero before its thousands (「¥0,210」): a digit of it was misread, and the
// amount it gives ranks it nowhere near the total it may be.
const Pattern& impossibleFigure() {
    static const Pattern pattern(R"((?<![\d,.])0[,.]\d{3}(?!\d))");
    return pattern;
}

bool blurredComma(std::string_view after) {
    const auto digit = [&](std::size_t k) { return k < after.size() && after[k] >= '0' && after[k] <= '9'; };
    return digit(0) && digit(1) && digit(2) && !digit(3);
}

// The largest whole number in a normalised row, comma groups joined; decimals count by their whole part,
// except three digits after a point, which on a yen receipt are a comma the print or the reading blurred.
std::int64_t largestNumber(std::string_view text) {
    std::int64_t largest = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        std::int64_t value = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c >= '0' && c <= '9') {
                value = std::min<std::int64_t>(value * 10 + (c - '0'), std::int64_t{1} << 50);
            } else if (c == '.' && blurredComma(text.substr(i + 1))) {
                continue;
            } else if (c != ',' || i + 1 >= text.size() || text[i + 1] < '0' || text[i + 1] > '9') {
                break;
            }
        }
        largest = std::max(largest, value);
    }
    return largest;
}

}  // namespace

std::vector<bool> rowsWorthRereading(std::span<const std::string> normalized, int amountRows) {
    // A row without digits (a column heading 「品名 金額」, 「支払方法 現金」) has no date or amount that a
    // second reading could correct. A total is at least every item price it adds up, so the many smaller
    // price rows could only be read into a wrong total, and reading them again was most of the cost of the
    // re-reads.
    std::vector<bool> chosen(normalized.size(), false);
    std::vector<std::pair<std::int64_t, std::size_t>> priced;
    for (std::size_t i = 0; i < normalized.size(); ++i) {
        if (!interesting().matchesAnywhere(normalized[i]) ||
            TextNormalizer::digitsOnly(normalized[i]).empty())
            continue;
        // An address such as 「3-24-12」 looks like a date to the pattern but is none.
        if (amountRows < 0 || totalWords().matchesAnywhere(normalized[i]) ||
            !DateExtractor::candidates(normalized[i]).empty() ||
            impossibleFigure().matchesAnywhere(normalized[i]))
            chosen[i] = true;
        else
            priced.emplace_back(largestNumber(normalized[i]), i);
    }
    // The largest amounts, each with every row that carries it: a total is printed again as the subtotal or
    // the cash handed over, and reading only the first of those rows left the one with the label unread.
    std::vector<std::int64_t> amounts;
    for (const auto& row : priced) amounts.push_back(row.first);
    std::sort(amounts.begin(), amounts.end(), std::greater<>());
    amounts.erase(std::unique(amounts.begin(), amounts.end()), amounts.end());
    const auto keep = std::min(amounts.size(), static_cast<std::size_t>(std::max(amountRows, 0)));
    for (const auto& [amount, row] : priced)
        if (keep > 0 && amount >= amounts[keep - 1]) chosen[row] = true;
    return chosen;
}

bool sameFigures(std::string_view a, std::string_view b) {
    auto figures = [](std::string_view text) {
        std::vector<std::optional<std::int64_t>> out;
        for (const auto& token : AmountExtractor::numericTokens(text))
            out.push_back(AmountExtractor::parseValue(token));
        return out;
    };
    return figures(a) == figures(b);
}

namespace {

const Pattern& totalLabel() {
    static const Pattern pattern(R"(合\s*計|合計金額|お会計|お支払|請求|領収|(?i:total))");
    return pattern;
}

}  // namespace

std::vector<TextLine> refine(std::vector<TextLine> lines, std::span<const std::optional<Rect>> boxes,
                             const Image& image, std::int64_t page, const OcrTuning& tuning,
                             const CancellationToken& cancel, Rows rows) {
    const std::size_t count = std::min(lines.size(), boxes.size());
    RecognitionSettings settings;
    settings.pageSegmentation = tuning.rereadSegmentation;
    settings.tryInverted = false;
    const double body = tuning.tallRowFactor > 0 ? medianLineHeight(boxes.first(count), image.height()) : 0;
    std::vector<std::string> normalizedRows(count);
    for (std::size_t i = 0; i < count; ++i) normalizedRows[i] = TextNormalizer::normalize(lines[i].text);
    const std::vector<bool> worthRereading = rowsWorthRereading(normalizedRows, tuning.rereadAmountRows);
    for (std::size_t i = 0; i < count; ++i) {
        if (cancel.isCancelled()) break;
        if (!boxes[i]) continue;
        const std::string& normalized = normalizedRows[i];

        // Print two or three times the body size is what the page pass misreads most (a bold 合計 read as
        // Latin junk), so such a row is read again on its own, shrunk to the body-text height.
        const bool tall = body > 0 && boxes[i]->height * image.height() >= tuning.tallRowFactor * body;
        if (rows == Rows::tallWords && (!tall || !TextNormalizer::digitsOnly(normalized).empty())) continue;
        if (tall) {
            const Image crop = cropUpscaled(image, *boxes[i], tuning.rereadTargetHeight, kTallRowMinimumZoom);
            const std::string text = crop.empty() ? std::string{} : readCrop(crop, page, settings, cancel);
            const std::string rereadNormalized = TextNormalizer::normalize(text);
            if (rereadNormalized.empty() || rereadNormalized == normalized) continue;
            const bool replace = tuning.tallRows == OcrTuning::TallRows::replace ||
                                 (tuning.tallRows == OcrTuning::TallRows::replaceWordsOnly &&
                                  TextNormalizer::digitsOnly(normalized).empty() &&
                                  TextNormalizer::digitsOnly(rereadNormalized).empty());
            if (replace)
                lines[i].text = text;
            else
                lines[i].alternatives.push_back(text);
            continue;
        }

        if (!worthRereading[i]) continue;
        const Image crop = cropUpscaled(image, *boxes[i], tuning.rereadTargetHeight);
        if (crop.empty()) continue;
        std::string text = readCrop(crop, page, settings, cancel);
        const std::string rereadNormalized = TextNormalizer::normalize(text);
        if (rereadNormalized.empty()) continue;
        if (sameFigures(rereadNormalized, normalized)) {
            // The same figures: worth keeping only when it reads the total's label that the page pass lost.
            const bool labelRecovered = tuning.keepLabelRereads &&
                                        totalLabel().matchesAnywhere(rereadNormalized) &&
                                        !totalLabel().matchesAnywhere(normalized);
            if (!labelRecovered) continue;
        }
        lines[i].alternatives.push_back(std::move(text));
    }
    return lines;
}

}  // namespace tavori::ZoomedReread
