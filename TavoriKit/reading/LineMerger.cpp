#include "TavoriKit/reading/LineMerger.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tavori::LineMerger {
namespace {

double tolerance(std::span<const double> heights) {
    if (heights.empty()) return 0.004;
    std::vector<double> sorted(heights.begin(), heights.end());
    std::sort(sorted.begin(), sorted.end());
    return std::max(0.55 * sorted[sorted.size() / 2], 0.004);
}

TextLine joined(std::vector<TextLine> group) {
    std::stable_sort(group.begin(), group.end(),
                     [](const TextLine& a, const TextLine& b) { return a.left < b.left; });
    TextLine out;
    out.left = group.front().left;
    out.page = group.front().page;
    out.top = group.front().top;
    double confidenceSum = 0;
    for (std::size_t i = 0; i < group.size(); ++i) {
        if (i > 0) out.text += ' ';
        out.text += group[i].text;
        out.top = std::min(out.top, group[i].top);
        confidenceSum += group[i].confidence;
    }
    out.confidence = confidenceSum / static_cast<double>(group.size());
    return out;
}

}  // namespace

std::vector<TextLine> merge(std::span<const TextLine> lines, std::span<const double> heights) {
    if (lines.empty()) return {};
    const double tol = tolerance(heights);
    std::vector<TextLine> sorted(lines.begin(), lines.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TextLine& a, const TextLine& b) { return a.top < b.top; });

    std::vector<TextLine> merged;
    std::vector<TextLine> group;
    for (auto& line : sorted) {
        // Compared with the group's first line, never the previous one, so a drifting row cannot chain on.
        if (!group.empty() && !(std::fabs(line.top - group.front().top) <= tol)) {
            merged.push_back(joined(std::move(group)));
            group.clear();
        }
        group.push_back(std::move(line));
    }
    merged.push_back(joined(std::move(group)));
    return merged;
}

std::vector<std::optional<Rect>> boxes(std::span<const TextLine> lines,
                                       std::span<const Observation> observations) {
    std::vector<std::optional<Rect>> out;
    out.reserve(lines.size());
    for (const auto& line : lines) {
        std::optional<Rect> box;
        for (const auto& observation : observations) {
            if (observation.text.empty() ||
                std::string_view(line.text).find(observation.text) == std::string_view::npos)
                continue;
            box = box ? box->united(observation.box) : observation.box;
        }
        out.push_back(box);
    }
    return out;
}

}  // namespace tavori::LineMerger
