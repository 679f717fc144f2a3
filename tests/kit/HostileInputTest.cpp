#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "KitFixtures.h"
#include "TavoriKit/reading/BoundedDecoding.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/ImageLoader.h"
#include "samples/CraftedFiles.h"

namespace tavori {
namespace {

using test::TempDir;
using Case = DocumentTextExtractorError::Case;
using Failure = DocumentFile::Failure;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kChildFileVariable = "TAVORI_HOSTILE_CHILD_FILE";
constexpr const char* kChildExpectsReadingVariable = "TAVORI_HOSTILE_CHILD_READS";

// A file of `size` bytes that takes no room on disk: `head`, then zeros.
void writeSparse(const std::filesystem::path& path, const std::string& head, off_t size) {
    test::writeBytes(path, head);
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

std::optional<DocumentTextExtractorError> extractionError(const std::filesystem::path& path) {
    try {
        (void)DocumentTextExtractor{}.extract(path);
    } catch (const DocumentTextExtractorError& error) {
        return error;
    }
    return std::nullopt;
}

struct ChildResult {
    bool exitedCleanly = false;
    double peakMiB = 0;
};

// Runs this test program again on the child test below, which reads `file`; the child has its own memory,
// so its peak is the reading's alone (plus the recogniser, which a real run has too). A child that runs
// longer than `seconds` is killed.
ChildResult readInChild(const std::filesystem::path& file, unsigned seconds = 60,
                        bool expectsReading = false) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kChildFileVariable, file.c_str(), 1);
        if (expectsReading) ::setenv(kChildExpectsReadingVariable, "1", 1);
        if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::alarm(seconds);
        ::execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=HostileInputChild.ReadsOneFile",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ChildResult result;
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return result;
    result.exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return result;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsMeasurable = false;  // the sanitizer's shadow memory would dominate the figure
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

TEST(HostileInputChild, ReadsOneFile) {
    const char* file = std::getenv(kChildFileVariable);
    if (file == nullptr) GTEST_SKIP() << "run by HostileInput tests in a child process";
    try {
        (void)DocumentTextExtractor{}.extract(file);
    } catch (const DocumentTextExtractorError& error) {
        EXPECT_EQ(std::getenv(kChildExpectsReadingVariable), nullptr) << error.what();
    }
}

struct Bomb {
    const char* name;
    std::string fileName;
    std::function<Bytes()> bytes;
    std::optional<Failure> failure;  // nothing: read (at reduced size)
};

// Images whose header declares far more than their file holds: each is read at a bounded size or refused as
// too large, in either case within the memory one document may use, measured in a child process.
TEST(HostileInput, ImageBombsStayWithinTheMemoryOfOneDocument) {
    static const Bytes rgba = CraftedFiles::zeroPng(12000, 12000);
    const std::vector<Bomb> bombs = {
        {"PNG 12000 x 12000 RGBA of zeros", "rgba.png", [] { return rgba; }, std::nullopt},
        {"interlaced PNG 12000 x 12000 RGBA", "interlaced.png",
         [] { return CraftedFiles::pngHeaderOnly(12000, 12000, 6, true); }, Failure::imageTooLarge},
        {"PNG 12000 x 12000 cut short", "short.png",
         [] { return Bytes(rgba.begin(), rgba.begin() + static_cast<std::ptrdiff_t>(rgba.size() / 2)); },
         Failure::damaged},
    };
    const TempDir dir;
    for (const auto& bomb : bombs) {
        const auto path = dir / bomb.fileName;
        test::writeBytes(path, bomb.bytes());
        if (bomb.failure) {
            const auto error = extractionError(path);
            ASSERT_TRUE(error.has_value()) << bomb.name;
            EXPECT_EQ(error->failure(), *bomb.failure) << bomb.name << ": " << error->what();
        } else {
            const Image image = ImageLoader::load(path, 0.9 * DocumentTextExtractor::kRecognitionPixels);
            ASSERT_FALSE(image.empty()) << bomb.name;
            EXPECT_LE(static_cast<double>(image.width()) * image.height() * (image.depth() == 8 ? 1 : 4),
                      static_cast<double>(BoundedDecoding::kMaxImageBytes))
                << bomb.name;
        }
        // The child reads the whole document, recognition included, and fails when a bomb meant to be read
        // is not.
        const ChildResult child = readInChild(path, 120, !bomb.failure.has_value());
        EXPECT_TRUE(child.exitedCleanly) << bomb.name;
        if (kMemoryIsMeasurable) {
            EXPECT_LE(child.peakMiB, 300.0) << bomb.name;
        }
    }
}

// What a large PNG decodes to: shrunk by a whole factor, transparency laid on white, colour kept.
TEST(HostileInput, LargePngIsShrunkAsItIsRead) {
    const Bytes png = CraftedFiles::zeroPng(6000, 6000);
    const auto full = BoundedDecoding::png(png, 0);
    ASSERT_EQ(full.status, BoundedDecoding::Decoded::Status::decoded);
    // Full size would be 137 MiB: the smallest factor that fits the bound.
    EXPECT_EQ(full.image.width(), 6000 / 2);
    EXPECT_EQ(full.image.height(), 6000 / 2);
    const auto reduced = BoundedDecoding::png(png, 1e6);
    ASSERT_EQ(reduced.status, BoundedDecoding::Decoded::Status::decoded);
    EXPECT_EQ(reduced.image.width(), 1000) << "the largest factor that keeps a million pixels";
    EXPECT_EQ(reduced.image.depth(), 32);
    EXPECT_EQ(reduced.image.toGrey().greyAt(10, 10), 255) << "transparent black is laid on white";

    // A small picture keeps its size and its pixels.
    const Image sample = test::receiptImage(1.0);
    const auto same = BoundedDecoding::png(sample.encodedPng(), 0);
    ASSERT_EQ(same.status, BoundedDecoding::Decoded::Status::decoded);
    ASSERT_EQ(same.image.width(), sample.width());
    ASSERT_EQ(same.image.height(), sample.height());
    for (int y = 0; y < sample.height(); y += 7)
        for (int x = 0; x < sample.width(); x += 5)
            ASSERT_EQ(same.image.toGrey().greyAt(x, y), sample.greyAt(x, y)) << x << "," << y;
}

// Files that are no document, or not files, fail at once with their reason: no library scans a gigabyte of
// zeros, and nothing waits on a pipe or follows a loop of links.
TEST(HostileInput, WhatIsNoDocumentFailsAtOnceWithItsReason) {
    const TempDir dir;
    writeSparse(dir / "zeros.pdf", "", 1ll << 30);
    writeSparse(dir / "headed-zeros.pdf", "%PDF-1.7\n", 1ll << 30);
    writeSparse(dir / "zeros.png", "", 64ll << 20);
    writeSparse(dir / "zeros.jpg", std::string("\xFF\xD8\xFF\xE0", 4), 64ll << 20);
    ASSERT_EQ(::mkfifo((dir / "pipe.pdf").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "loop-b.pdf", dir / "loop-a.pdf");
    std::filesystem::create_symlink(dir / "loop-a.pdf", dir / "loop-b.pdf");
    std::filesystem::create_symlink(dir / "loop-a.pdf", dir / "loop.jpg");
    test::writeBytes(dir / "locked.png", test::receiptImage(1.0).encodedPng());
    ::chmod((dir / "locked.png").c_str(), 0);
    const bool permissionsApply = ::access((dir / "locked.png").c_str(), R_OK) != 0;  // not as root

    const std::vector<std::pair<std::string, Failure>> cases = {
        {"zeros.pdf", Failure::notPdf},
        {"headed-zeros.pdf", Failure::damaged},
        {"zeros.png", Failure::notImage},
        {"zeros.jpg", Failure::damaged},
        {"pipe.pdf", Failure::notRegularFile},
        {"pipe.png", Failure::notRegularFile},
        {"loop-a.pdf", Failure::linkLoop},
        {"loop.jpg", Failure::linkLoop},
        {"locked.png", permissionsApply ? Failure::noPermission : Failure::none},
    };
    for (const auto& [name, failure] : cases) {
        // In a child first, so that a file that would block or take minutes fails the test instead of
        // holding it up.
        const ChildResult child = readInChild(dir / name, 20);
        ASSERT_TRUE(child.exitedCleanly) << name << " did not finish in time";
        const auto error = extractionError(dir / name);
        if (failure == Failure::none) continue;
        ASSERT_TRUE(error.has_value()) << name;
        EXPECT_EQ(error->errorCase(), Case::unreadable) << name;
        EXPECT_EQ(error->failure(), failure) << name << ": " << error->what();
    }
}

TEST(HostileInput, DocumentFileRecognisesFormatsByTheirFirstBytes) {
    const auto bytes = [](std::string_view s) { return Bytes(s.begin(), s.end()); };
    const std::vector<std::tuple<const char*, Bytes, bool, bool>> cases = {
        {"PDF", bytes("%PDF-1.4\n"), true, false},
        {"PDF after a few bytes of junk", bytes(std::string(600, ' ') + "%PDF-1.7"), true, false},
        {"PDF marker past the first kilobyte", bytes(std::string(1100, ' ') + "%PDF-1.7"), false, false},
        {"JPEG", Bytes{0xFF, 0xD8, 0xFF, 0xE1}, false, true},
        {"PNG", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, false, true},
        {"GIF", bytes("GIF89a"), false, true},
        {"TIFF", bytes(std::string("II*\0", 4)), false, true},
        {"WebP", bytes(std::string_view("RIFF\x10\0\0\0WEBPVP8 ", 16)), false, true},
        {"HEIC",
         bytes(std::string("\0\0\0\x18"
                           "ftypheic",
                           12)),
         false, true},
        {"zeros", Bytes(4096, 0), false, false},
        {"text", bytes("Dear customer, please find attached"), false, false},
    };
    for (const auto& [name, head, pdf, image] : cases) {
        EXPECT_EQ(DocumentFile::looksLikePdf(head), pdf) << name;
        EXPECT_EQ(DocumentFile::looksLikeImage(head), image) << name;
    }
}

}  // namespace
}  // namespace tavori
