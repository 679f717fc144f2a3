#include <gtest/gtest.h>

#include <leptonica/allheaders.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KitFixtures.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/PreviewProvider.h"

namespace tavori {
namespace {

using test::TempDir;
using Case = DocumentTextExtractorError::Case;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A PNG signature and a well-formed header chunk declaring width × height, with no pixel data behind it.
Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes chunk = {'I', 'H', 'D', 'R'};
    putBigEndian(chunk, width);
    putBigEndian(chunk, height);
    chunk.insert(chunk.end(), {8, 0, 0, 0, 0});  // 8-bit grey
    putBigEndian(out, 13);
    out.insert(out.end(), chunk.begin(), chunk.end());
    putBigEndian(out, crc32(chunk.data(), chunk.size()));
    const Bytes end = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

// A real JPEG whose frame header is patched to declare other dimensions.
Bytes jpegDeclaring(std::uint16_t width, std::uint16_t height) {
    Bytes jpeg = Image::blankGrey(64, 32, 200).encodedJpeg();
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return jpeg;
}

Bytes gifDeclaring(std::uint16_t width, std::uint16_t height) {
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    gif.insert(gif.end(),
               {static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8), 0, 0, 0});
    gif.push_back(0x3B);
    return gif;
}

Bytes toBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes half(const Bytes& b) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(b.size() / 2));
}

Bytes validPdf() {
    return toBytes(test::pdfBytes({test::pageWithLines({"Invoice 2024-0042 total due 1,980 yen"})}));
}

// A PDF locked by a user password that is not empty: the empty password does not open it.
Bytes encryptedPdf() {
    const std::string key32(64, 'A');
    return toBytes(test::pdfBytes({test::pageWithLines({"Secret invoice 2024-0042 total 1,980 yen"})},
                                  "/Encrypt << /Filter /Standard /V 1 /R 2 /O <" + key32 + "> /U <" + key32 +
                                      "> /P -4 >> /ID [<0123456789ABCDEF0123456789ABCDEF> "
                                      "<0123456789ABCDEF0123456789ABCDEF>]"));
}

Bytes pdfWithoutPages() {
    const std::string body =
        "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Kids [] "
        "/Count 0 "
        ">>\nendobj\n";
    char xref[160];
    std::snprintf(xref, sizeof xref, "xref\n0 3\n0000000000 65535 f \n%010d 00000 n \n%010d 00000 n \n", 9,
                  58);
    return toBytes(body + xref + "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n" +
                   std::to_string(body.size()) + "\n%%EOF\n");
}

using Failure = DocumentFile::Failure;

struct BadInput {
    const char* name;
    std::string fileName;
    std::function<Bytes()> bytes;
    std::optional<Case> expected;     // nothing: a sound result without an error
    Failure failure = Failure::none;  // the reason an unreadable file names
};

TEST(BadInput, EachGetsItsErrorOrASoundResult) {
    const Bytes png = Image::blankGrey(40, 30, 220).encodedPng();
    const std::vector<BadInput> cases = {
        {"zero-byte PDF", "empty.pdf", [] { return Bytes{}; }, Case::unreadable, Failure::emptyFile},
        {"zero-byte PNG", "empty.png", [] { return Bytes{}; }, Case::unreadable, Failure::emptyFile},
        {"plain text named .txt", "notes.txt", [] { return toBytes("hello"); }, Case::unsupportedFile},
        {"garbage named .pdf", "garbage.pdf", [] { return toBytes(std::string(4096, 'x')); },
         Case::unreadable, Failure::notPdf},
        {"PDF header then garbage", "damaged.pdf",
         [] { return toBytes("%PDF-1.7\n" + std::string(2000, '\x01')); }, Case::unreadable,
         Failure::damaged},
        {"PDF cut in half", "truncated.pdf", [] { return half(validPdf()); }, Case::unreadable,
         Failure::damaged},
        {"PDF locked by a password", "locked.pdf", encryptedPdf, Case::unreadable,
         Failure::passwordProtected},
        {"PDF without pages", "nopages.pdf", pdfWithoutPages, Case::emptyPDF},
        {"PNG named .pdf", "image.pdf", [&] { return png; }, Case::unreadable, Failure::notPdf},
        {"PDF named .jpg", "document.jpg", validPdf, Case::unreadable, Failure::notImage},
        {"PNG named .jpg reads by its content", "photo.jpg", [&] { return png; }, std::nullopt},
        {"text named .png", "text.png", [] { return toBytes("not an image at all, just words"); },
         Case::unreadable, Failure::notImage},
        {"text named .webp", "text.webp", [] { return toBytes("RIFF....WEBPVP8 nonsense nonsense"); },
         Case::unreadable, Failure::damaged},
        {"text named .heic", "text.heic",
         [] {
             return toBytes(
                 std::string("\0\0\0\x18"
                             "ftypheic nonsense nonsense",
                             30));
         },
         Case::unreadable, Failure::damaged},
        {"PNG cut in half", "truncated.png", [&] { return half(test::receiptImage(1.5).encodedPng()); },
         Case::unreadable, Failure::damaged},
        {"JPEG cut in half", "truncated.jpg", [] { return half(test::receiptImage(1.5).encodedJpeg()); },
         Case::unreadable, Failure::damaged},
        {"PNG header declaring 40000 x 40000", "bomb.png", [] { return pngHeaderOnly(40000, 40000); },
         Case::unreadable, Failure::imageTooLarge},
        {"PNG header declaring 20000 x 10000 (200 MP)", "bomb2.png",
         [] { return pngHeaderOnly(20000, 10000); }, Case::unreadable, Failure::imageTooLarge},
        {"JPEG declaring a side of 30001", "wide.jpg", [] { return jpegDeclaring(30001, 16); },
         Case::unreadable, Failure::imageTooLarge},
        {"GIF declaring 65535 x 65535", "bomb.gif", [] { return gifDeclaring(65535, 65535); },
         Case::unreadable, Failure::imageTooLarge},
    };
    const TempDir dir;
    for (const auto& c : cases) {
        const auto path = dir / c.fileName;
        test::writeBytes(path, c.bytes());
        try {
            const auto document = DocumentTextExtractor{}.extract(path);
            EXPECT_FALSE(c.expected.has_value())
                << c.name << ": expected " << *c.expected << ", got a document";
        } catch (const DocumentTextExtractorError& error) {
            EXPECT_EQ(std::optional<Case>(error.errorCase()), c.expected) << c.name << ": " << error.what();
            EXPECT_EQ(error.failure(), c.failure) << c.name << ": " << error.what();
        }
        // The thumbnail of the same file must not crash either.
        (void)PreviewProvider::thumbnail(path, 320);
    }
}

// Scanners and phones sometimes write a JPEG whose coded data is damaged inside while the file is complete.
TEST(BadInput, CompleteJpegWithADamagedStretchReadsAboveTheDamage) {
    Bytes jpeg = test::receiptImage(3.0).encodedJpeg();
    ASSERT_GT(jpeg.size(), 1000u);
    // Bytes just before the end marker lie in the white bottom of the page, below every line of text.
    for (std::size_t i = jpeg.size() - 40; i < jpeg.size() - 8; ++i)
        if (jpeg[i] != 0xFF && jpeg[i] != 0x00) jpeg[i] = static_cast<std::uint8_t>(jpeg[i] ^ 0x5A) & 0xFE;
    const TempDir dir;
    test::writeBytes(dir / "damaged.jpg", jpeg);
    ASSERT_TRUE(Image(pixReadMem(jpeg.data(), jpeg.size())).empty())
        << "the damage must fail a strict decode";
    const auto document = DocumentTextExtractor{}.extract(dir / "damaged.jpg");
    const std::string all = test::compactText([&] {
        std::vector<std::string> out;
        for (const auto& line : document.lines) out.push_back(line.text);
        return out;
    }());
    EXPECT_NE(all.find("2024年3月15日"), std::string::npos) << all;
}

TEST(BadInput, ErrorDescriptionsAreTheUsersTexts) {
    EXPECT_STREQ(DocumentTextExtractorError(Case::unsupportedFile).what(),
                 "対応していないファイル形式です（PDF・JPEG・PNG・HEIC・TIFFに対応）");
    EXPECT_STREQ(DocumentTextExtractorError(Case::emptyPDF).what(), "PDFにページがありません");
    EXPECT_EQ(DocumentTextExtractorError::description(Case::unreadable), "ファイルを読み込めませんでした");
    // An unreadable file keeps the designed sentence and names what the user can do something about.
    const std::vector<std::pair<Failure, const char*>> reasons = {
        {Failure::none, "ファイルを読み込めませんでした（ファイルが壊れているか、読み取れない形式です）"},
        {Failure::passwordProtected, "ファイルを読み込めませんでした（パスワードで保護されたPDFです）"},
        {Failure::vanished,
         "ファイルを読み込めませんでした（ファイルが見つかりません。移動または削除された可能性があります）"},
        {Failure::noPermission, "ファイルを読み込めませんでした（ファイルを開く権限がありません）"},
        {Failure::emptyFile, "ファイルを読み込めませんでした（ファイルが空です）"},
        {Failure::imageTooLarge, "ファイルを読み込めませんでした（画像が大きすぎて読み込めません）"},
    };
    for (const auto& [failure, text] : reasons)
        EXPECT_STREQ(DocumentTextExtractorError(Case::unreadable, failure).what(), text) << text;
    EXPECT_EQ(DocumentTextExtractorError(Case::emptyPDF, Failure::damaged).failure(), Failure::none)
        << "only an unreadable file has a reason";
}

TEST(BadInput, PathsThatAreNotPlainFiles) {
    const TempDir dir;
    std::filesystem::create_directory(dir / "folder.pdf");
    std::filesystem::create_directory(dir / "target");
    std::filesystem::create_directory_symlink(dir / "target", dir / "link.png");
    std::filesystem::create_directory_symlink(dir / "target", dir / "link.pdf");
    const struct {
        const char* name;
        std::filesystem::path path;
        Failure failure;
    } cases[] = {
        {"folder named .pdf", dir / "folder.pdf", Failure::notRegularFile},
        {"symlink to a folder named .png", dir / "link.png", Failure::notRegularFile},
        {"symlink to a folder named .pdf", dir / "link.pdf", Failure::notRegularFile},
        {"missing file", dir / "missing.jpg", Failure::vanished},
        {"missing PDF", dir / "missing.pdf", Failure::vanished},
    };
    for (const auto& c : cases) {
        try {
            (void)DocumentTextExtractor{}.extract(c.path);
            ADD_FAILURE() << c.name << ": expected unreadable";
        } catch (const DocumentTextExtractorError& error) {
            EXPECT_EQ(error.errorCase(), Case::unreadable) << c.name;
            EXPECT_EQ(error.failure(), c.failure) << c.name << ": " << error.what();
        }
        EXPECT_FALSE(PreviewProvider::thumbnail(c.path, 320).has_value()) << c.name;
    }
}

TEST(BadInput, NamesThatAreNotUtf8AreReadByteExact) {
    const TempDir dir;
    const std::filesystem::path pdf = dir.path() / std::string("\xff\xfe\xe9-invoice.pdf");
    const std::filesystem::path png = dir.path() / std::string("r\xe9\xe7u.png");
    test::writeBytes(pdf, validPdf());
    ASSERT_TRUE(Image::blankGrey(40, 30).writePng(png));
    const auto document = DocumentTextExtractor{}.extract(pdf);
    ASSERT_EQ(document.lines.size(), 1u);
    EXPECT_EQ(document.lines[0].text, "Invoice 2024-0042 total due 1,980 yen");
    EXPECT_NO_THROW((void)DocumentTextExtractor{}.extract(png));
    EXPECT_TRUE(PreviewProvider::thumbnail(png, 320).has_value());
}

TEST(BadInput, SymlinkToAFileIsFollowed) {
    const TempDir dir;
    test::writeBytes(dir / "real.pdf", validPdf());
    std::filesystem::create_symlink(dir / "real.pdf", dir / "link.pdf");
    EXPECT_EQ(DocumentTextExtractor{}.extract(dir / "link.pdf").lines.size(), 1u);
}

}  // namespace
}  // namespace tavori
