#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

namespace tavori {

// The zoom commands of the document preview.
enum class PreviewZoom { fitPage, fitWidth, in, out };

std::ostream& operator<<(std::ostream& os, PreviewZoom zoom);

// The preview's scale arithmetic, apart from the widget. Lengths are in device-independent pixels; a page is
// measured at scale 1.
namespace PreviewScale {

inline constexpr double minimum = 0.05;
inline constexpr double maximum = 8.0;
// A fitted page keeps a 2 % margin so that its edges stay visible.
inline constexpr double fitPageMargin = 0.98;
inline constexpr double step = 1.25;
// The view renders a visible page whole; past this many pixels a zoomed page would cost hundreds of
// megabytes, so a large page gets a lower upper limit. An A4 page can still be enlarged 8 times.
inline constexpr double maxRenderedPixels = 64e6;

struct Size {
    double width = 0;
    double height = 0;
};

// The largest scale for a page of this size: `maximum`, or less for a very large page, never below `minimum`.
double maximumFor(Size page);
double clamped(double scale, double upper = maximum);
// The scale that shows the whole page with the margin; 1 when any length is not positive.
double fitPage(Size view, Size page);
// The scale at which the page fills the view's width; 1 when either width is not positive.
double fitWidth(double viewWidth, double pageWidth);
// The scale after `zoom`, from `current`, within the limits. `viewWidthBesideScrollBar` is the view's width
// left when a vertical scroll bar is shown, used when the fitted width makes the page taller than the view.
double apply(PreviewZoom zoom, double current, Size view, Size page, double viewWidthBesideScrollBar = 0);

}  // namespace PreviewScale

// Which file the preview holds and which zoom command it applied last, so that a fit is not repeated and a
// new file gets the current command.
class PreviewCoordinator {
  public:
    // True (and the file remembered, the applied command forgotten) when `path` is not the file held.
    bool beginLoading(const std::filesystem::path& path);
    const std::optional<std::filesystem::path>& loadedPath() const { return loadedPath_; }

    // Whether a command the user gave must change the scale: zooming in or out always does; a fit does
    // unless it was the command applied last.
    bool shouldApply(PreviewZoom zoom) const;
    // Whether the current command is still to be applied to a newly loaded file.
    bool isPending() const { return !appliedZoom_.has_value(); }
    void applied(PreviewZoom zoom) { appliedZoom_ = zoom; }
    const std::optional<PreviewZoom>& appliedZoom() const { return appliedZoom_; }

  private:
    std::optional<std::filesystem::path> loadedPath_;
    std::optional<PreviewZoom> appliedZoom_;
};

}  // namespace tavori
