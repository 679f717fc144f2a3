#include "TavoriKit/reading/LineRecognizer.h"

#include <string>
#include <utility>

#include "TavoriKit/reading/LineMerger.h"
#include "TavoriKit/reading/NumberJoiner.h"

namespace tavori::LineRecognizer {

RecognizedLines recognizeLines(const Image& image, std::int64_t page, const RecognitionSettings& settings,
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

}  // namespace tavori::LineRecognizer
