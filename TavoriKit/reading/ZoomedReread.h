#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextLine.h"
#include "TavoriKit/base/CancellationToken.h"
#include "TavoriKit/reading/Image.h"
#include "TavoriKit/reading/OcrTuning.h"
#include "TavoriKit/reading/Rect.h"

// A second, zoomed reading of the lines that look like they carry a date or an amount. A reading whose
// figures differ is added as an alternative. Rows much taller than the page's body text are read again on
// their own and, as tuned, replace the page pass's reading of the row.
namespace tavori::ZoomedReread {

// Dates, era names, total keywords, currency amounts and comma-grouped numbers.
const Pattern& interesting();

// Which rows of normalised text get a zoomed reading: rows with digits and a date or a total's label, and of
// the rows that hold only prices, those with the `amountRows` largest amounts (every one when negative).
std::vector<bool> rowsWorthRereading(std::span<const std::string> normalized, int amountRows);

// Whether two readings of a row, normalised, give the same figures as the rules take them: 「1750」 and
// 「1,750」 do, 「1.750」 (1.75) and 「1,750」 do not, nor 「¥11,39%4」 and 「¥11,394」 with the same digits.
bool sameFigures(std::string_view a, std::string_view b);

// Which rows `refine` reads again: those worth it and the tall ones, or only the tall rows without digits
// (for a page whose figures are already certain).
enum class Rows { all, tallWords };

// The same lines in the same order, some with one more alternative. Never throws; stops early (returning the
// lines as they are) when `cancel` fires.
std::vector<TextLine> refine(std::vector<TextLine> lines, std::span<const std::optional<Rect>> boxes,
                             const Image& image, std::int64_t page, const OcrTuning& tuning = {},
                             const CancellationToken& cancel = {}, Rows rows = Rows::all);

// The pixel rectangle cut out for a normalised box in a width × height image: the box with margins (6 px + 8
// % of its width on each side, half its height above and below), clamped to the image and rounded outwards.
// Nothing when 4 pixels or less remain on either side.
std::optional<PixelRect> cropRect(int width, int height, const Rect& box);
// Ordinary re-reads shrink a line to half at most: below that, strokes of body text are lost.
inline constexpr double kLeastZoom = 0.5;
// The zoom that brings a line `lineHeight` pixels high to about `targetHeight`, limited to `minimum` to 4.
double zoomFactor(double lineHeight, double targetHeight, double minimum = kLeastZoom);
// Tall rows may be shrunk further than ordinary re-reads: print four times the body height still reaches it.
inline constexpr double kTallRowMinimumZoom = 0.2;
// The median pixel height of the boxes in an image `imageHeight` pixels high; 0 without boxes.
double medianLineHeight(std::span<const std::optional<Rect>> boxes, int imageHeight);
// The crop of `box`, in grey, with ink touching its inner edges erased, scaled by `zoomFactor` and padded
// with the paper's own grey. Empty when there is nothing to cut.
Image cropUpscaled(const Image& image, const Rect& box, double targetHeight = OcrTuning{}.rereadTargetHeight,
                   double minimumZoom = kLeastZoom);

}  // namespace tavori::ZoomedReread
