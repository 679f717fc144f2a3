#pragma once

#include <ostream>

namespace tavori {

// Recogniser settings chosen by measurement with bench_accuracy; the defaults are the measured best.
struct OcrTuning {
    int pageSegmentation = 6;    // Tesseract PSM for whole pages
    int rereadSegmentation = 7;  // single line, for the zoomed re-read crops
    double rereadTargetHeight =
        32;  // pixels: of 32, 40 and 48 (bench_accuracy), 32 lost the fewest good readings
    bool reread = true;
    bool scaleLargeImages = true;  // shrink images above ~300 dpi A4 before recognition
    bool operator==(const OcrTuning&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const OcrTuning& t) {
    return os << "OcrTuning{psm:" << t.pageSegmentation << " reread psm:" << t.rereadSegmentation
              << " target:" << t.rereadTargetHeight << " reread:" << t.reread
              << " scale:" << t.scaleLargeImages << '}';
}

}  // namespace tavori
