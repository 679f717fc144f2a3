#pragma once

#include <algorithm>
#include <ostream>

namespace tavori {

// A rectangle in normalised image coordinates, 0 to 1 on both axes, origin at the bottom-left corner: the
// recogniser's convention, so that a line's `top` is 1 − (y + height).
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    Rect united(const Rect& other) const {
        const double x0 = std::min(x, other.x), y0 = std::min(y, other.y);
        return Rect{x0, y0, std::max(maxX(), other.maxX()) - x0, std::max(maxY(), other.maxY()) - y0};
    }
    bool operator==(const Rect&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "Rect{x:" << r.x << " y:" << r.y << " w:" << r.width << " h:" << r.height << '}';
}

}  // namespace tavori
