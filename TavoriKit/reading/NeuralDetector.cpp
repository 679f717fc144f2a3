#include "TavoriKit/reading/NeuralDetector.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>
#include <system_error>
#include <utility>

namespace tavori::NeuralDetector {

namespace {

std::filesystem::path networkFile(const std::filesystem::path& folder) {
    return folder / "det.onnx";
}

// The detector's settings as trained: a pixel is text above 0.3, a region is kept when its mean is 0.6, and
// it is grown by 1.5 times its area over its perimeter, since the model marks only the rows' cores.
constexpr float kPixelThreshold = 0.3f;
constexpr double kRegionThreshold = 0.6;
constexpr double kGrowth = 1.5;
// Rows tilted further are not rows of a receipt laid on a scanner or photographed from above.
constexpr double kSteepest = 30;

cv::Mat asMat(const Image& page) {
    std::vector<std::uint8_t> rgb = page.rgbBytes();
    return cv::Mat(page.height(), page.width(), CV_8UC3, rgb.data()).clone();
}

// 1 × 3 × H × W, normalised with ImageNet's means and deviations, the page scaled into the top-left corner
// of a size the network takes (multiples of 32) and the rest left white.
cv::Mat inputOf(const cv::Mat& page, double scale) {
    cv::Mat scaled;
    cv::resize(page, scaled, cv::Size(), scale, scale, scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    const int w = (scaled.cols + 31) / 32 * 32, h = (scaled.rows + 31) / 32 * 32;
    cv::Mat padded(h, w, CV_8UC3, cv::Scalar(255, 255, 255));
    scaled.copyTo(padded(cv::Rect(0, 0, scaled.cols, scaled.rows)));
    const int dims[] = {1, 3, h, w};
    cv::Mat blob(4, dims, CV_32F);
    constexpr float mean[] = {0.485f, 0.456f, 0.406f}, deviation[] = {0.229f, 0.224f, 0.225f};
    for (int c = 0; c < 3; ++c) {
        cv::Mat plane(h, w, CV_32F, blob.ptr<float>(0, c));
        cv::Mat channel;
        cv::extractChannel(padded, channel, c);
        channel.convertTo(plane, CV_32F, 1.0 / (255.0 * deviation[c]), -mean[c] / deviation[c]);
    }
    return blob;
}

Image levelled(const cv::Mat& page, cv::Point2f centre, cv::Size2f size, double angle) {
    cv::Mat turn = cv::getRotationMatrix2D(centre, angle, 1.0);
    turn.at<double>(0, 2) += size.width / 2 - centre.x;
    turn.at<double>(1, 2) += size.height / 2 - centre.y;
    const cv::Size out(std::max(1, static_cast<int>(std::lround(size.width))),
                       std::max(1, static_cast<int>(std::lround(size.height))));
    cv::Mat row;
    cv::warpAffine(page, row, turn, out, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return Image::fromRgb(row.cols, row.rows, {row.data, row.total() * 3}, static_cast<int>(row.step));
}

}  // namespace

bool installed(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_regular_file(networkFile(folder), error);
}

std::vector<DetectedRow> rows(const Image& page, const std::filesystem::path& folder,
                              const CancellationToken& cancel) {
    if (page.empty() || page.width() < 8 || page.height() < 8 || !installed(folder)) return {};
    cv::Mat out;
    const cv::Mat colour = asMat(page);
    const double scale =
        std::min(1.0, static_cast<double>(kLongestSide) / std::max(colour.cols, colour.rows));
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(networkFile(folder).string());
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        net.setInput(inputOf(colour, scale));
        if (cancel.isCancelled()) return {};
        out = net.forward();
    } catch (const std::exception&) {
        return {};  // a second opinion never fails the reading
    }
    if (out.dims != 4 || out.size[1] != 1) return {};
    const cv::Mat probability(out.size[2], out.size[3], CV_32F, out.ptr<float>());
    const cv::Mat text = probability > kPixelThreshold;
    std::vector<std::vector<cv::Point>> regions;
    cv::findContours(text, regions, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);

    std::vector<DetectedRow> found;
    for (const auto& region : regions) {
        if (region.size() < 4) continue;
        const cv::RotatedRect core = cv::minAreaRect(region);
        if (std::min(core.size.width, core.size.height) < 3) continue;
        const cv::Rect bounds = cv::boundingRect(region) & cv::Rect(0, 0, probability.cols, probability.rows);
        cv::Mat inside = cv::Mat::zeros(bounds.size(), CV_8U);
        cv::fillPoly(inside, std::vector<std::vector<cv::Point>>{region}, cv::Scalar(255), cv::LINE_8, 0,
                     -bounds.tl());
        if (cv::mean(probability(bounds), inside)[0] < kRegionThreshold) continue;

        cv::Size2f size = core.size;
        const double grow = core.size.area() * kGrowth / (2.0 * (core.size.width + core.size.height));
        size.width += static_cast<float>(2 * grow);
        size.height += static_cast<float>(2 * grow);
        double angle = core.angle;
        if (size.width < size.height) {
            std::swap(size.width, size.height);
            angle += 90;
        }
        if (angle > 90) angle -= 180;
        if (std::abs(angle) > kSteepest) continue;
        const cv::Point2f centre(core.center.x / static_cast<float>(scale),
                                 core.center.y / static_cast<float>(scale));
        size.width /= static_cast<float>(scale);
        size.height /= static_cast<float>(scale);

        DetectedRow row;
        row.width = size.width;
        row.height = size.height;
        row.angle = angle;
        const cv::Rect upright = cv::RotatedRect(centre, size, static_cast<float>(angle)).boundingRect();
        row.top = std::clamp(static_cast<double>(upright.y) / colour.rows, 0.0, 1.0);
        row.left = std::clamp(static_cast<double>(upright.x) / colour.cols, 0.0, 1.0);
        row.image = levelled(colour, centre, size, angle);
        if (!row.image.empty()) found.push_back(std::move(row));
    }
    std::sort(found.begin(), found.end(), [](const DetectedRow& a, const DetectedRow& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    return found;
}

}  // namespace tavori::NeuralDetector
