#include "TavoriName/PreviewZoom.h"

#include <algorithm>
#include <cmath>

namespace tavori {

std::ostream& operator<<(std::ostream& os, PreviewZoom zoom) {
    switch (zoom) {
        case PreviewZoom::fitPage:
            return os << "fitPage";
        case PreviewZoom::fitWidth:
            return os << "fitWidth";
        case PreviewZoom::in:
            return os << "in";
        case PreviewZoom::out:
            return os << "out";
    }
    return os << "PreviewZoom(" << static_cast<int>(zoom) << ")";
}

namespace PreviewScale {

double maximumFor(Size page) {
    const double area = page.width * page.height;
    if (!(area > 0)) return maximum;
    return std::clamp(std::sqrt(maxRenderedPixels / area), minimum, maximum);
}

double clamped(double scale, double upper) {
    upper = std::clamp(upper, minimum, maximum);
    if (!(scale > 0)) return minimum;  // also NaN
    return std::clamp(scale, minimum, upper);
}

double fitPage(Size view, Size page) {
    if (view.width <= 0 || view.height <= 0 || page.width <= 0 || page.height <= 0) return 1.0;
    return std::min(view.width / page.width, view.height / page.height) * fitPageMargin;
}

double fitWidth(double viewWidth, double pageWidth) {
    if (viewWidth <= 0 || pageWidth <= 0) return 1.0;
    return viewWidth / pageWidth;
}

double apply(PreviewZoom zoom, double current, Size view, Size page, double viewWidthBesideScrollBar) {
    const double upper = maximumFor(page);
    switch (zoom) {
        case PreviewZoom::fitPage:
            return clamped(fitPage(view, page), upper);
        case PreviewZoom::fitWidth: {
            const double scale = fitWidth(view.width, page.width);
            if (viewWidthBesideScrollBar > 0 && page.height * scale > view.height)
                return clamped(fitWidth(viewWidthBesideScrollBar, page.width), upper);
            return clamped(scale, upper);
        }
        case PreviewZoom::in:
            return clamped(current * step, upper);
        case PreviewZoom::out:
            return clamped(current / step, upper);
    }
    return clamped(current, upper);
}

}  // namespace PreviewScale

bool PreviewCoordinator::beginLoading(const std::filesystem::path& path) {
    if (loadedPath_ && *loadedPath_ == path) return false;
    loadedPath_ = path;
    appliedZoom_.reset();
    return true;
}

bool PreviewCoordinator::shouldApply(PreviewZoom zoom) const {
    if (zoom == PreviewZoom::in || zoom == PreviewZoom::out) return true;
    return appliedZoom_ != zoom;
}

}  // namespace tavori
