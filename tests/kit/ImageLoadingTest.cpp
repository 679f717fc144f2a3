#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "KitFixtures.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/ExifOrientation.h"
#include "TavoriKit/reading/HeifImage.h"
#include "TavoriKit/reading/ImageLoader.h"

namespace tavori {
namespace {

using test::TempDir;

// An upright picture with four quadrants of distinct grey, so that every turn and mirror is told apart.
constexpr int kWidth = 96, kHeight = 64;
std::uint8_t upright(int x, int y) {
    const bool right = x >= kWidth / 2, bottom = y >= kHeight / 2;
    return bottom ? (right ? 240 : 170) : (right ? 100 : 20);
}

// The stored pixels of a file with EXIF orientation `o`, built from the definition of each orientation (where
// stored row 0 and column 0 lie in the upright picture), independently of the code under test.
Image storedForOrientation(int o) {
    const bool swapped = o >= 5;
    const int sw = swapped ? kHeight : kWidth, sh = swapped ? kWidth : kHeight;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sw) * sh);
    for (int sy = 0; sy < sh; ++sy)
        for (int sx = 0; sx < sw; ++sx) {
            int dx = sx, dy = sy;
            switch (o) {
                case 2:
                    dx = sw - 1 - sx;
                    break;
                case 3:
                    dx = sw - 1 - sx, dy = sh - 1 - sy;
                    break;
                case 4:
                    dy = sh - 1 - sy;
                    break;
                case 5:
                    dx = sy, dy = sx;
                    break;
                case 6:
                    dx = sh - 1 - sy, dy = sx;
                    break;
                case 7:
                    dx = sh - 1 - sy, dy = sw - 1 - sx;
                    break;
                case 8:
                    dx = sy, dy = sw - 1 - sx;
                    break;
                default:
                    break;
            }
            bytes[static_cast<std::size_t>(sy) * sw + sx] = upright(dx, dy);
        }
    return Image::fromGrey(sw, sh, bytes, sw);
}

void expectUpright(const Image& image, const std::string& what) {
    ASSERT_FALSE(image.empty()) << what;
    ASSERT_EQ(image.width(), kWidth) << what;
    ASSERT_EQ(image.height(), kHeight) << what;
    const Image grey = image.toGrey();
    const std::array<std::array<int, 2>, 4> centres{{{24, 16}, {72, 16}, {24, 48}, {72, 48}}};
    for (const auto& [x, y] : centres)
        EXPECT_NEAR(grey.greyAt(x, y), upright(x, y), 12) << what << " at " << x << "," << y;
}

TEST(ImageLoading, EveryExifOrientationIsTurnedUpright) {
    const TempDir dir;
    for (int o = 1; o <= 8; ++o) {
        const auto jpeg = ExifOrientation::withOrientation(storedForOrientation(o).encodedJpeg(95), o);
        ASSERT_EQ(ExifOrientation::read(jpeg), o);
        const auto path = dir / ("orientation" + std::to_string(o) + ".jpg");
        test::writeBytes(path, jpeg);
        expectUpright(ImageLoader::load(path), "EXIF orientation " + std::to_string(o));
    }
}

TEST(ImageLoading, ExifReaderIgnoresWhatIsNotAnOrientation) {
    const auto plain = Image::blankGrey(8, 8).encodedJpeg();
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"JPEG without EXIF", plain},
        {"empty", {}},
        {"PNG", Image::blankGrey(8, 8).encodedPng()},
        {"JPEG start marker only", {0xFF, 0xD8, 0xFF}},
        {"APP1 claiming more bytes than there are",
         {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f', 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(ExifOrientation::read(c.bytes), 1) << c.name;
    EXPECT_TRUE(ExifOrientation::withOrientation(plain, 9).empty());
    EXPECT_TRUE(ExifOrientation::withOrientation(Image::blankGrey(8, 8).encodedPng(), 6).empty());
}

TEST(ImageLoading, HeicRotationIsAppliedOnceByTheContainer) {
    const TempDir dir;
    for (int o : {1, 3, 6, 8}) {
        const auto heic = HeifImage::encode(storedForOrientation(o), o);
        ASSERT_FALSE(heic.empty()) << "no HEVC encoder";
        const auto header = HeifImage::readHeader(heic);
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(*header, (ImageHeader{kWidth, kHeight})) << "orientation " << o;
        const auto path = dir / ("rotated" + std::to_string(o) + ".heic");
        test::writeBytes(path, heic);
        expectUpright(ImageLoader::load(path), "HEIC orientation " + std::to_string(o));
    }
}

TEST(ImageLoading, EveryFormatDecodesByContent) {
    const TempDir dir;
    const Image picture = storedForOrientation(1);
    for (const char* name : {"a.png", "a.jpg", "a.tif", "a.gif", "a.bmp", "a.webp"}) {
        ASSERT_TRUE(picture.write(dir / name)) << name;
        expectUpright(ImageLoader::load(dir / name), name);
    }
    test::writeBytes(dir / "a.heif", HeifImage::encode(picture));
    expectUpright(ImageLoader::load(dir / "a.heif"), "a.heif");
}

TEST(ImageLoading, SidewaysPhotoIsRecognisedTopToBottom) {
    const TempDir dir;
    // The camera stored the receipt turned a quarter left and recorded orientation 6 to turn it back.
    const Image stored = test::receiptImage(2.5).rotated90(false);
    test::writeBytes(dir / "photo.jpg", ExifOrientation::withOrientation(stored.encodedJpeg(92), 6));
    const auto document = DocumentTextExtractor{}.extract(dir / "photo.jpg");
    std::vector<std::string> texts;
    for (const auto& line : document.sortedLines()) texts.push_back(line.text);
    const std::string all = test::compactText(texts);
    const auto date = all.find("2024年3月15日"), total = all.find("1,980"), thanks = all.find("ありがとう");
    ASSERT_NE(date, std::string::npos) << all;
    ASSERT_NE(total, std::string::npos) << all;
    EXPECT_LT(date, total) << all;
    if (thanks != std::string::npos) {
        EXPECT_LT(total, thanks) << all;
    }
}

// A photo far larger than what it is needed for is decoded smaller, never below the size asked for: a JPEG by
// halving, a PNG by any whole factor.
TEST(ImageLoading, LargeJpegIsDecodedNoSmallerThanAsked) {
    const TempDir dir;
    Image scan = Image::blankGrey(1600, 1200, 200);
    scan.setResolution(600);
    test::writeBytes(dir / "photo.jpg", scan.encodedJpeg());
    test::writeBytes(dir / "photo.png", scan.encodedPng());
    const struct {
        const char* file;
        double minimumPixels;
        int width, height, resolution;
    } cases[] = {
        {"photo.jpg", 0, 1600, 1200, 600},       {"photo.jpg", 800 * 600 + 1, 1600, 1200, 600},
        {"photo.jpg", 800 * 600, 800, 600, 300}, {"photo.jpg", 400 * 300, 400, 300, 150},
        {"photo.jpg", 1, 200, 150, 75},          {"photo.png", 0, 1600, 1200, 600},
        {"photo.png", 400 * 300, 400, 300, 150}, {"photo.png", 500 * 400, 533, 400, 200},
    };
    for (const auto& c : cases) {
        const Image image = ImageLoader::load(dir / c.file, c.minimumPixels);
        EXPECT_EQ(image.width(), c.width) << c.file << " at least " << c.minimumPixels;
        EXPECT_EQ(image.height(), c.height) << c.file << " at least " << c.minimumPixels;
        // The recogniser sizes text by the resolution, so a half-size decode must say half the dpi.
        EXPECT_EQ(image.resolution(), c.resolution) << c.file << " at least " << c.minimumPixels;
    }
}

}  // namespace
}  // namespace tavori
