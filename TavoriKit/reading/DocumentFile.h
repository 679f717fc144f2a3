#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string_view>
#include <vector>

// Opening a document file before any library sees it: whether it is there, readable, a regular non-empty
// file, and by its first bytes a PDF or an image, so that what cannot be read fails at once with a reason the
// user can act on, and a library never blocks on a pipe or scans a gigabyte that is no document.
namespace tavori::DocumentFile {

// Why a file could not be read.
enum class Failure {
    none,
    damaged,            // the generic reason: damaged, or in a form that cannot be read
    vanished,           // no longer there (moved or deleted after it was chosen)
    noPermission,       // cannot be opened for lack of permission
    emptyFile,          // zero bytes
    notRegularFile,     // a folder, pipe or device
    linkLoop,           // a symbolic link that leads back to itself
    fileTooLarge,       // larger than any document this program reads
    notPdf,             // named .pdf but holds no PDF
    notImage,           // named as an image but holds no image format that is read
    imageTooLarge,      // an image that cannot be read within the memory one document may use
    passwordProtected,  // a PDF that opens only with a password
};

// The reason as shown in brackets after "ファイルを読み込めませんでした"; empty for `none`.
std::string_view reason(Failure failure);
std::ostream& operator<<(std::ostream& os, Failure failure);

// The bytes of a file of at most `maxBytes`, or the failure.
struct Contents {
    std::vector<std::uint8_t> bytes;
    Failure failure = Failure::none;
};
Contents read(const std::filesystem::path& path, std::uintmax_t maxBytes);

// Whether the file can be opened as a regular, non-empty file that starts like a PDF; does not read beyond
// its first and last kilobyte. A large file whose end holds no cross-reference table is refused as damaged:
// the PDF library would otherwise scan all of it to rebuild one.
Failure checkPdf(const std::filesystem::path& path);

// "%PDF-" within the first kilobyte (some writers put a few bytes before it).
bool looksLikePdf(std::span<const std::uint8_t> head);
// The signature of JPEG, PNG, GIF, BMP, TIFF, WebP, HEIF/HEIC or PNM.
bool looksLikeImage(std::span<const std::uint8_t> head);

// Files above this size are only read when their end holds a cross-reference table.
inline constexpr std::uintmax_t kPdfRepairLimit = 64ull << 20;
inline constexpr std::size_t kHeadBytes = 1024;

}  // namespace tavori::DocumentFile
