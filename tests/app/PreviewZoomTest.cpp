#include "TavoriName/PreviewZoom.h"

#include <gtest/gtest.h>

namespace tavori {
namespace {

using PreviewScale::Size;

TEST(PreviewScaleTest, FitPageUsesTheTighterSideWithATwoPercentMargin) {
    // Portrait page in a landscape view: the height decides.
    EXPECT_DOUBLE_EQ(PreviewScale::fitPage({800, 600}, {400, 1000}), 0.6 * 0.98);
    // Landscape page in a portrait view: the width decides.
    EXPECT_DOUBLE_EQ(PreviewScale::fitPage({300, 900}, {600, 400}), 0.5 * 0.98);
}

TEST(PreviewScaleTest, FitWithoutUsableLengthsIsOne) {
    const Size good{500, 500};
    for (const auto& [view, page] : {std::pair{Size{0, 500}, good}, std::pair{Size{500, -1}, good},
                                     std::pair{good, Size{0, 10}}, std::pair{good, Size{10, 0}}}) {
        EXPECT_EQ(PreviewScale::fitPage(view, page), 1.0)
            << view.width << "x" << view.height << " / " << page.width << "x" << page.height;
    }
    EXPECT_EQ(PreviewScale::fitWidth(0, 100), 1.0);
    EXPECT_EQ(PreviewScale::fitWidth(100, 0), 1.0);
}

TEST(PreviewScaleTest, FitThenTwoZoomInsIsOnePointFiveSixTwoFiveTimesTheFit) {
    const Size view{600, 800};
    const Size page{794, 1123};  // A4 at 96 dpi
    const double fit = PreviewScale::apply(PreviewZoom::fitPage, 3.0, view, page);
    double scale = PreviewScale::apply(PreviewZoom::in, fit, view, page);
    scale = PreviewScale::apply(PreviewZoom::in, scale, view, page);
    EXPECT_DOUBLE_EQ(scale, fit * 1.5625);
    scale = PreviewScale::apply(PreviewZoom::out, scale, view, page);
    EXPECT_DOUBLE_EQ(scale, fit * 1.25);
}

TEST(PreviewScaleTest, ScaleStaysWithinItsLimits) {
    const Size view{600, 800};
    const Size page{794, 1123};
    EXPECT_EQ(PreviewScale::apply(PreviewZoom::in, 7.0, view, page), 8.0);
    EXPECT_EQ(PreviewScale::apply(PreviewZoom::out, 0.06, view, page), 0.05);
    // A tiny page would fit at a huge scale; a huge one at a tiny scale.
    EXPECT_EQ(PreviewScale::apply(PreviewZoom::fitPage, 1, view, {10, 10}), 8.0);
    EXPECT_EQ(PreviewScale::apply(PreviewZoom::fitPage, 1, {100, 100}, {100000, 100000}), 0.05);
}

TEST(PreviewScaleTest, AVeryLargePageCannotBeEnlargedPastTheRenderingBudget) {
    const Size a4{794, 1123};
    EXPECT_EQ(PreviewScale::maximumFor(a4), 8.0);
    const Size poster{4000, 6000};  // 24 megapixels at scale 1
    const double upper = PreviewScale::maximumFor(poster);
    EXPECT_LT(upper, 2.0);
    EXPECT_NEAR(poster.width * upper * poster.height * upper, PreviewScale::maxRenderedPixels, 1e3);
    EXPECT_DOUBLE_EQ(PreviewScale::apply(PreviewZoom::in, 1.9, {800, 600}, poster), upper);
}

TEST(PreviewScaleTest, FitWidthMakesRoomForTheScrollBarWhenThePageGetsTaller) {
    const Size page{500, 1000};
    // The page fits the width at 1.2 but is then taller than the view: the scroll bar's width is taken off.
    EXPECT_DOUBLE_EQ(PreviewScale::apply(PreviewZoom::fitWidth, 1, {600, 700}, page, 585), 585.0 / 500);
    // A short page needs no scroll bar.
    EXPECT_DOUBLE_EQ(PreviewScale::apply(PreviewZoom::fitWidth, 1, {600, 2000}, page, 585), 1.2);
}

TEST(PreviewCoordinatorTest, AFitIsNotRepeatedButZoomingAlwaysApplies) {
    PreviewCoordinator coordinator;
    EXPECT_TRUE(coordinator.beginLoading("/a.pdf"));
    EXPECT_TRUE(coordinator.isPending());
    coordinator.applied(PreviewZoom::fitPage);
    EXPECT_FALSE(coordinator.isPending());
    EXPECT_FALSE(coordinator.shouldApply(PreviewZoom::fitPage));
    EXPECT_TRUE(coordinator.shouldApply(PreviewZoom::fitWidth));
    coordinator.applied(PreviewZoom::in);
    EXPECT_TRUE(coordinator.shouldApply(PreviewZoom::in));
    EXPECT_TRUE(coordinator.shouldApply(PreviewZoom::fitPage));
    coordinator.applied(PreviewZoom::out);
    EXPECT_TRUE(coordinator.shouldApply(PreviewZoom::out));
}

TEST(PreviewCoordinatorTest, AFileIsLoadedOnceAndANewOneAsksForTheCurrentCommandAgain) {
    PreviewCoordinator coordinator;
    ASSERT_TRUE(coordinator.beginLoading("/a.pdf"));
    coordinator.applied(PreviewZoom::fitWidth);
    EXPECT_FALSE(coordinator.beginLoading("/a.pdf"));
    EXPECT_FALSE(coordinator.isPending());
    EXPECT_TRUE(coordinator.beginLoading("/b.png"));
    EXPECT_TRUE(coordinator.isPending());
    EXPECT_EQ(coordinator.loadedPath(), std::filesystem::path("/b.png"));
    EXPECT_TRUE(coordinator.shouldApply(PreviewZoom::fitWidth));
}

}  // namespace
}  // namespace tavori
