#include "TavoriKit/reading/NeuralReader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "TavoriCore/DateExtractor.h"
#include "TavoriCore/Pattern.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/NeuralDetector.h"
#include "TavoriKit/reading/NumberJoiner.h"
#include "TavoriKit/reading/ZoomedReread.h"

namespace tavori {

struct NeuralReader::Networks {
    std::map<int, cv::dnn::Net> byWidth;
};

namespace {

std::filesystem::path networkFile(const std::filesystem::path& folder, int width) {
    return folder / ("rec-" + std::to_string(NeuralReader::kHeight) + "x" + std::to_string(width) + ".onnx");
}

// The model's last class is the space, its first the blank of the sequence decoding.
constexpr int kBlank = 0;

cv::dnn::Net& loadedNetwork(std::map<int, cv::dnn::Net>& networks, const std::filesystem::path& folder,
                            int width) {
    auto found = networks.find(width);
    if (found == networks.end()) {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(networkFile(folder, width).string());
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        found = networks.emplace(width, std::move(net)).first;
    }
    return found->second;
}

}  // namespace

std::filesystem::path NeuralReader::modelFolder() {
    if (const char* folder = std::getenv("TAVORI_NEURAL_MODELS"); folder != nullptr && *folder != '\0')
        return folder;
    return kInstalledFolder;
}

bool NeuralReader::installed(const std::filesystem::path& folder) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(folder / "characters.txt", error)) return false;
    return std::all_of(std::begin(kWidths), std::end(kWidths), [&](int width) {
        return std::filesystem::is_regular_file(networkFile(folder, width), error);
    });
}

NeuralReader* NeuralReader::forThisThread(const std::filesystem::path& folder) {
    thread_local std::map<std::filesystem::path, std::unique_ptr<NeuralReader>> readers;
    if (const auto found = readers.find(folder); found != readers.end()) return found->second.get();
    std::unique_ptr<NeuralReader> reader;
    if (installed(folder)) {
        try {
            reader = std::make_unique<NeuralReader>(folder);
        } catch (const std::exception&) {
            reader.reset();  // a damaged model reads nothing, as a missing one
        }
    }
    return readers.emplace(folder, std::move(reader)).first->second.get();
}

NeuralReader::NeuralReader(const std::filesystem::path& folder)
    : folder_(folder), networks_(std::make_unique<Networks>()) {
    // Documents are read one per core already; OpenCV's own threads would only compete with them.
    static std::once_flag single;
    std::call_once(single, [] { cv::setNumThreads(1); });
    std::ifstream in(folder / "characters.txt");
    for (std::string line; std::getline(in, line);) characters_.push_back(line);
    if (characters_.empty()) throw std::runtime_error("the neural reader's character list is missing");
    characters_.emplace_back(" ");
    // The widest network first: a failure to load shows before any row is read.
    loadedNetwork(networks_->byWidth, folder_, kWidths[std::size(kWidths) - 1]);
}

NeuralReader::~NeuralReader() = default;

namespace {

// The row in colour with its long blank stretches cut to about half its height: a till row is mostly the
// space between a label and its price, and the recogniser's cost grows with the width it is given.
Image withoutLongGaps(const Image& row) {
    const Image grey = row.toGrey();
    const int w = grey.width(), h = grey.height();
    const int paper = grey.greyPercentile(0.6), darkest = grey.greyPercentile(0.01);
    if (paper - darkest < 40) return row.toRgb();
    const int threshold = (paper + darkest) / 2;
    std::vector<bool> keep(static_cast<std::size_t>(w), true);
    const int longest = std::max(4, h / 2);
    int blank = 0;
    for (int x = 0; x < w; ++x) {
        bool inked = false;
        for (int y = 0; y < h && !inked; ++y) inked = grey.greyAt(x, y) < threshold;
        blank = inked ? 0 : blank + 1;
        keep[static_cast<std::size_t>(x)] = blank <= longest;
    }
    const int kept = static_cast<int>(std::count(keep.begin(), keep.end(), true));
    Image rgb = row.toRgb();
    if (kept == w || kept < 2) return rgb;
    const std::vector<std::uint8_t> bytes = rgb.rgbBytes();
    std::vector<std::uint8_t> squeezed;
    squeezed.reserve(static_cast<std::size_t>(kept) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (keep[static_cast<std::size_t>(x)]) {
                const auto at = bytes.begin() + (static_cast<std::ptrdiff_t>(y) * w + x) * 3;
                squeezed.insert(squeezed.end(), at, at + 3);
            }
    return Image::fromRgb(kept, h, squeezed, kept * 3);
}

}  // namespace

NeuralReading NeuralReader::read(const Image& whole) {
    if (whole.empty() || whole.height() < 2 || whole.width() < 2) return {};
    const Image row = withoutLongGaps(whole);  // in colour, as the model takes it
    if (row.empty()) return {};
    // Brought to the model's height at its own proportions, and squeezed into the widest network when longer.
    const int natural =
        static_cast<int>(std::ceil(kHeight * static_cast<double>(row.width()) / row.height()));
    int bucket = kWidths[std::size(kWidths) - 1];
    for (const int width : kWidths)
        if (natural <= width) {
            bucket = width;
            break;
        }
    const int width = std::clamp(natural, 1, bucket);
    const Image scaled = row.scaledTo(width, kHeight);
    if (scaled.empty()) return {};
    const std::vector<std::uint8_t> rgb = scaled.rgbBytes();

    // 1 × 3 × 48 × bucket, blue, green, red planes scaled to −1…1; the padding stays 0, as in training.
    const int dims[] = {1, 3, kHeight, bucket};
    cv::Mat blob(4, dims, CV_32F, cv::Scalar(0));
    auto* planes = blob.ptr<float>();
    const std::size_t plane = static_cast<std::size_t>(kHeight) * bucket;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t source = (static_cast<std::size_t>(y) * width + x) * 3;
            const std::size_t target = static_cast<std::size_t>(y) * bucket + x;
            for (int c = 0; c < 3; ++c)
                planes[static_cast<std::size_t>(c) * plane + target] = rgb[source + 2 - c] / 127.5f - 1.0f;
        }

    cv::dnn::Net& net = loadedNetwork(networks_->byWidth, folder_, bucket);
    net.setInput(blob);
    const cv::Mat out = net.forward();
    if (out.dims != 3 || out.size[2] != static_cast<int>(characters_.size()) + 1) return {};

    // Greedy decoding: the likeliest class at each step, repeats and blanks dropped.
    NeuralReading reading;
    const int steps = out.size[1], classes = out.size[2];
    const float* scores = out.ptr<float>();
    int previous = kBlank;
    double sum = 0;
    int kept = 0;
    for (int t = 0; t < steps; ++t) {
        const float* step = scores + static_cast<std::ptrdiff_t>(t) * classes;
        const int best = static_cast<int>(std::max_element(step, step + classes) - step);
        if (best != kBlank && best != previous) {
            reading.text += characters_[static_cast<std::size_t>(best - 1)];
            sum += step[best];
            ++kept;
        }
        previous = best;
    }
    reading.confidence = kept > 0 ? sum / kept : 0;
    return reading;
}

namespace NeuralRows {

namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Words first (a Chinese word for a Japanese phrase), then single characters whose simplified form differs.
constexpr std::pair<std::string_view, std::string_view> kLabelWords[] = {
    {"找零", "お釣り"}, {"找钱", "お釣り"}, {"实收", "お預り"}, {"收款", "お預り"},
    {"预り", "預り"},   {"钓り", "釣り"},   {"领收", "領収"},   {"发行", "発行"},
};
constexpr std::pair<std::string_view, std::string_view> kLabelCharacters[] = {
    {"计", "計"}, {"现", "現"}, {"预", "預"}, {"钓", "釣"}, {"请", "請"}, {"额", "額"},
    {"领", "領"}, {"费", "費"}, {"价", "価"}, {"发", "発"}, {"时", "時"}, {"对", "対"},
    {"总", "総"}, {"实", "実"}, {"张", "張"}, {"货", "貨"}, {"驻", "駐"},
};

// What a date line shows besides its digits, even when the page pass garbled the date itself: a year or
// month mark, a slash or dash between figures, a time of day.
const Pattern& dateMarker() {
    static const Pattern pattern(R"(年|月|日|\d\s?[/\-]\s?\d|\d:\d)");
    return pattern;
}

const Pattern& totalLabel() {
    static const Pattern pattern(R"(合\s*計|お会計|ご請求|(?i:total))");
    return pattern;
}

// The row's box with a little room: the recogniser is trained on rows cut with some paper around them, but
// half a line above and below would take in the neighbours.
std::optional<PixelRect> rowRect(int width, int height, const Rect& box) {
    Rect room = box;
    const double mx = 4.0 / width + 0.03 * box.width, my = 0.2 * box.height;
    room.x = std::max(0.0, box.x - mx);
    room.y = std::max(0.0, box.y - my);
    room.width = std::min(1.0 - room.x, box.width + 2 * mx);
    room.height = std::min(1.0 - room.y, box.height + 2 * my);
    const int x = static_cast<int>(std::floor(room.x * width));
    const int y = static_cast<int>(std::floor((1.0 - room.y - room.height) * height));
    const int w = std::min(width - x, static_cast<int>(std::ceil(room.width * width)));
    const int h = std::min(height - y, static_cast<int>(std::ceil(room.height * height)));
    if (w < 8 || h < 6 || x < 0 || y < 0) return std::nullopt;
    return PixelRect{x, y, w, h};
}

bool hasDate(const std::string& normalized) {
    return !DateExtractor::candidates(normalized).empty();
}

// Whether two normalised readings give the same first date.
bool sameDate(const std::string& a, const std::string& b) {
    const auto x = DateExtractor::candidates(a), y = DateExtractor::candidates(b);
    return !x.empty() && !y.empty() && x.front().date == y.front().date;
}

bool looksLikeDateLine(const std::string& normalized) {
    return !TextNormalizer::digitsOnly(normalized).empty() && dateMarker().matchesAnywhere(normalized);
}

}  // namespace

std::string japaneseLabels(std::string_view text) {
    std::string out(text);
    for (const auto& [from, to] : kLabelWords) replaceAll(out, from, to);
    for (const auto& [from, to] : kLabelCharacters) replaceAll(out, from, to);
    return out;
}

std::vector<bool> worthReading(std::span<const std::string> normalizedRows) {
    // The zoomed re-read's choice (dates, a total's label, the largest prices) and every row that looks like
    // a date line: reading every price row cost seven times the page pass.
    std::vector<bool> chosen = ZoomedReread::rowsWorthRereading(normalizedRows, 2);
    for (std::size_t i = 0; i < normalizedRows.size(); ++i)
        if (looksLikeDateLine(normalizedRows[i])) chosen[i] = true;
    return chosen;
}

std::vector<TextLine> read(std::vector<TextLine> lines, std::span<const std::optional<Rect>> boxes,
                           const Image& image, NeuralReader* reader, const CancellationToken& cancel) {
    if (reader == nullptr || image.empty()) return lines;
    const std::size_t count = std::min(lines.size(), boxes.size());
    std::vector<TextLine> added;
    std::vector<std::string> normalizedRows(count);
    for (std::size_t i = 0; i < count; ++i) normalizedRows[i] = TextNormalizer::normalize(lines[i].text);
    const std::vector<bool> chosen = worthReading(normalizedRows);
    // Rows chosen only for their date's marks (an address 「3-24-12」, a phone number) are not re-read for
    // their figures: a date read into one of them would override the page's. They only supply a date when
    // the page pass found none anywhere.
    const std::vector<bool> rereadRows = ZoomedReread::rowsWorthRereading(normalizedRows, 2);
    // An English page's day-first dates are not the rules' to take, so its date-like rows give nothing.
    std::vector<bool> dated(count);
    for (std::size_t i = 0; i < count; ++i) dated[i] = hasDate(normalizedRows[i]);
    const bool dateSought =
        std::none_of(dated.begin(), dated.end(), std::identity{}) && readsAsJapanese(lines);
    for (std::size_t i = 0; i < count; ++i) {
        if (cancel.isCancelled()) break;
        // A row chosen for its date's marks alone gives nothing unless the page's date is sought.
        if (!boxes[i] || !chosen[i] || (!dateSought && !rereadRows[i])) continue;
        const std::string& normalized = normalizedRows[i];
        const auto rect = rowRect(image.width(), image.height(), *boxes[i]);
        if (!rect) continue;
        NeuralReading reading;
        try {
            reading = reader->read(image.clipped(*rect));
        } catch (const std::exception&) {
            continue;  // a second opinion never fails the reading
        }
        const std::string text = NumberJoiner::join(japaneseLabels(reading.text));
        const std::string readNormalized = TextNormalizer::normalize(text);
        if (readNormalized.empty()) continue;
        const std::string digits = TextNormalizer::digitsOnly(readNormalized);
        // The recogniser drops the spaces between figures (「2021/2/1 08:55」 read 「2021/2/108:55」), so on
        // a date's row the same digits say the same; elsewhere the figures must agree as well.
        const bool same = dated[i] ? digits == TextNormalizer::digitsOnly(normalized)
                                   : ZoomedReread::sameFigures(readNormalized, normalized);
        // A reading that gives the page pass's date is kept as well: with it, a zoomed reading's other date
        // stands one reader against two.
        const bool confirmsDate = dated[i] && sameDate(readNormalized, normalized);
        if ((!same || confirmsDate) && rereadRows[i] &&
            std::none_of(
                lines[i].alternatives.begin(), lines[i].alternatives.end(),
                [&](const std::string& a) { return TextNormalizer::normalize(a) == readNormalized; }))
            lines[i].alternatives.push_back(text);
        // What the first reading lost entirely, a date or the total's label, is offered as a row of its own:
        // an alternative reading can only correct what the first reading found.
        const bool dateFound =
            dateSought && dateMarker().matchesAnywhere(normalized) && hasDate(readNormalized);
        const bool labelFound = rereadRows[i] && !digits.empty() &&
                                totalLabel().matchesAnywhere(readNormalized) &&
                                !totalLabel().matchesAnywhere(normalized);
        if (dateFound || labelFound)
            added.push_back(
                TextLine{text, lines[i].top, lines[i].left, lines[i].page, reading.confidence, {}});
    }
    lines.insert(lines.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    return lines;
}

std::vector<TextLine> dateFromWholePage(std::vector<TextLine> lines, const Image& image, std::int64_t page,
                                        NeuralReader* reader, const std::filesystem::path& folder,
                                        const CancellationToken& cancel) {
    // The rules take the dates a Japanese till prints; an English page's day-first dates would cost the
    // detector's run for nothing.
    if (reader == nullptr || image.empty() || !readsAsJapanese(lines) ||
        std::any_of(lines.begin(), lines.end(),
                    [](const TextLine& line) { return hasDate(TextNormalizer::normalize(line.text)); }))
        return lines;
    // A date takes eight characters at least, so its row is several times longer than high; it is printed
    // near the top or the bottom, so the rows nearest either edge are read first, until a few were tried.
    constexpr double kDateRowProportion = 3;
    constexpr std::size_t kRowsTried = 16;
    std::vector<DetectedRow> rows = NeuralDetector::rows(image, folder, cancel);
    std::erase_if(rows, [](const DetectedRow& row) { return row.width < kDateRowProportion * row.height; });
    std::stable_sort(rows.begin(), rows.end(), [](const DetectedRow& a, const DetectedRow& b) {
        return std::min(a.top, 1 - a.top) < std::min(b.top, 1 - b.top);
    });
    if (rows.size() > kRowsTried) rows.resize(kRowsTried);
    for (const DetectedRow& row : rows) {
        if (cancel.isCancelled()) break;
        NeuralReading reading;
        try {
            reading = reader->read(row.image);
        } catch (const std::exception&) {
            continue;
        }
        const std::string text = NumberJoiner::join(japaneseLabels(reading.text));
        if (!hasDate(TextNormalizer::normalize(text))) continue;
        lines.push_back(TextLine{text, row.top, row.left, page, reading.confidence, {}});
        break;
    }
    return lines;
}

}  // namespace NeuralRows

}  // namespace tavori
