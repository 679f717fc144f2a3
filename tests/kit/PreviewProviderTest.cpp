#include <gtest/gtest.h>

#include "KitFixtures.h"
#include "TavoriKit/reading/ExifOrientation.h"
#include "TavoriKit/reading/PreviewProvider.h"

namespace tavori {
namespace {

using test::TempDir;

TEST(PreviewProvider, FitsPagesAndImages) {
    const TempDir dir;
    test::PdfPageSpec a4 = test::pageWithLines({"Invoice"});
    test::PdfPageSpec small = test::pageWithLines({"Tiny"});
    small.width = 100;
    small.height = 50;
    test::writePdf(dir / "a4.pdf", {a4});
    test::writePdf(dir / "small.pdf", {small});
    ASSERT_TRUE(Image::blankGrey(4000, 3000).writePng(dir / "photo.png"));
    ASSERT_TRUE(Image::blankGrey(100, 50).writePng(dir / "small.png"));
    test::writeBytes(dir / "sideways.jpg",
                     ExifOrientation::withOrientation(Image::blankGrey(400, 300).encodedJpeg(), 6));
    const struct {
        const char* name;
        const char* file;
        double displayWidth, displayHeight;
    } cases[] = {
        {"A4 page", "a4.pdf", 226.1, 320},
        {"small page is enlarged", "small.pdf", 320, 160},
        {"4000 x 3000 photo", "photo.png", 320, 240},
        {"100 x 50 image keeps its size", "small.png", 100, 50},
        {"EXIF orientation 6 swaps the sides", "sideways.jpg", 240, 320},
    };
    for (const auto& c : cases) {
        const auto thumbnail = PreviewProvider::thumbnail(dir / c.file, 320);
        ASSERT_TRUE(thumbnail.has_value()) << c.name;
        EXPECT_NEAR(thumbnail->displayWidth, c.displayWidth, 0.5) << c.name;
        EXPECT_NEAR(thumbnail->displayHeight, c.displayHeight, 0.5) << c.name;
        EXPECT_NEAR(thumbnail->width, c.displayWidth, 1.5) << c.name;
        EXPECT_NEAR(thumbnail->height, c.displayHeight, 1.5) << c.name;
        EXPECT_EQ(thumbnail->pixels.size(),
                  static_cast<std::size_t>(thumbnail->width) * thumbnail->height * 3)
            << c.name;
    }
}

TEST(PreviewProvider, ShowsThePageOnWhite) {
    const TempDir dir;
    test::writePdf(dir / "receipt.pdf", {test::receiptPage()});
    const auto thumbnail = PreviewProvider::thumbnail(dir / "receipt.pdf", 320);
    ASSERT_TRUE(thumbnail.has_value());
    std::size_t dark = 0, white = 0;
    for (std::size_t i = 0; i + 2 < thumbnail->pixels.size(); i += 3) {
        const int sum = thumbnail->pixels[i] + thumbnail->pixels[i + 1] + thumbnail->pixels[i + 2];
        dark += sum < 300;
        white += sum == 765;
    }
    EXPECT_GT(white, thumbnail->pixels.size() / 3 / 2) << "paper is white";
    EXPECT_GT(dark, 100u) << "text is drawn";
}

TEST(PreviewProvider, NothingForUnreadableFilesOrSizes) {
    const TempDir dir;
    test::writeBytes(dir / "broken.pdf", std::string("%PDF-1.4 broken"));
    test::writeBytes(dir / "broken.png", std::string("nothing"));
    ASSERT_TRUE(Image::blankGrey(10, 10).writePng(dir / "fine.png"));
    EXPECT_FALSE(PreviewProvider::thumbnail(dir / "broken.pdf", 320).has_value());
    EXPECT_FALSE(PreviewProvider::thumbnail(dir / "broken.png", 320).has_value());
    EXPECT_FALSE(PreviewProvider::thumbnail(dir / "missing.pdf", 320).has_value());
    EXPECT_FALSE(PreviewProvider::thumbnail(dir / "fine.png", 0).has_value());
    EXPECT_TRUE(PreviewProvider::thumbnail(dir / "fine.png", 1).has_value());
}

}  // namespace
}  // namespace tavori
