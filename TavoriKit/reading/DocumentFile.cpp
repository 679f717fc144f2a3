#include "TavoriKit/reading/DocumentFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace tavori::DocumentFile {
namespace {

Failure fromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return Failure::vanished;
        case EACCES:
        case EPERM:
            return Failure::noPermission;
        case ELOOP:
            return Failure::linkLoop;
        case ENXIO:
        case ENODEV:
        case EISDIR:
            return Failure::notRegularFile;
        case EFBIG:
        case EOVERFLOW:
            return Failure::fileTooLarge;
        default:
            return Failure::damaged;
    }
}

class OpenFile {
  public:
    explicit OpenFile(const std::filesystem::path& path) {
        // Non-blocking, so that a named pipe does not wait for a writer; a regular file reads as usual.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd_ < 0) {
            failure_ = fromErrno(errno);
            return;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0) {
            failure_ = fromErrno(errno);
        } else if (!S_ISREG(info.st_mode)) {
            failure_ = Failure::notRegularFile;
        } else if (info.st_size == 0) {
            failure_ = Failure::emptyFile;
        } else {
            size_ = static_cast<std::uintmax_t>(info.st_size);
        }
    }
    ~OpenFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    Failure failure() const { return failure_; }
    std::uintmax_t size() const { return size_; }

    // Reads `count` bytes at `offset`; false when fewer arrive.
    bool readAt(std::uint8_t* out, std::size_t count, std::uintmax_t offset) {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n < 0) failure_ = fromErrno(errno);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int fd_ = -1;
    Failure failure_ = Failure::none;
    std::uintmax_t size_ = 0;
};

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view prefix, std::size_t at = 0) {
    return bytes.size() >= at + prefix.size() &&
           std::memcmp(bytes.data() + at, prefix.data(), prefix.size()) == 0;
}

bool holds(std::span<const std::uint8_t> bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

}  // namespace

std::string_view reason(Failure failure) {
    switch (failure) {
        case Failure::none:
            return "";
        case Failure::damaged:
            return "ファイルが壊れているか、読み取れない形式です";
        case Failure::vanished:
            return "ファイルが見つかりません。移動または削除された可能性があります";
        case Failure::noPermission:
            return "ファイルを開く権限がありません";
        case Failure::emptyFile:
            return "ファイルが空です";
        case Failure::notRegularFile:
            return "通常のファイルではありません";
        case Failure::linkLoop:
            return "シンボリックリンクが循環しています";
        case Failure::fileTooLarge:
            return "ファイルが大きすぎます";
        case Failure::notPdf:
            return "中身がPDFではありません";
        case Failure::notImage:
            return "中身が対応している画像ではありません";
        case Failure::imageTooLarge:
            return "画像が大きすぎて読み込めません";
        case Failure::passwordProtected:
            return "パスワードで保護されたPDFです";
    }
    return "ファイルが壊れているか、読み取れない形式です";
}

std::ostream& operator<<(std::ostream& os, Failure failure) {
    return os << (failure == Failure::none ? std::string_view("none") : reason(failure));
}

Contents read(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    Contents contents;
    OpenFile file(path);
    if (file.failure() != Failure::none) {
        contents.failure = file.failure();
        return contents;
    }
    if (file.size() > maxBytes) {
        contents.failure = Failure::fileTooLarge;
        return contents;
    }
    contents.bytes.resize(static_cast<std::size_t>(file.size()));
    if (!file.readAt(contents.bytes.data(), contents.bytes.size(), 0)) {
        // Shortened while being read: what is left is no longer the document.
        contents.failure = file.failure() != Failure::none ? file.failure() : Failure::damaged;
        contents.bytes.clear();
    }
    return contents;
}

Failure checkPdf(const std::filesystem::path& path) {
    OpenFile file(path);
    if (file.failure() != Failure::none) return file.failure();
    std::vector<std::uint8_t> head(
        static_cast<std::size_t>(std::min<std::uintmax_t>(kHeadBytes, file.size())));
    if (!file.readAt(head.data(), head.size(), 0))
        return file.failure() != Failure::none ? file.failure() : Failure::damaged;
    if (!looksLikePdf(head)) return Failure::notPdf;
    if (file.size() <= kPdfRepairLimit) return Failure::none;
    std::vector<std::uint8_t> tail(kHeadBytes);
    if (!file.readAt(tail.data(), tail.size(), file.size() - tail.size()))
        return file.failure() != Failure::none ? file.failure() : Failure::damaged;
    return holds(tail, "startxref") ? Failure::none : Failure::damaged;
}

bool looksLikePdf(std::span<const std::uint8_t> head) {
    return holds(head.first(std::min(head.size(), kHeadBytes)), "%PDF-");
}

bool looksLikeImage(std::span<const std::uint8_t> b) {
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return true;  // JPEG
    if (startsWith(b, "\x89PNG\r\n\x1a\n")) return true;
    if (startsWith(b, "GIF87a") || startsWith(b, "GIF89a")) return true;
    if (startsWith(b, "BM")) return true;
    if (startsWith(b, std::string_view("II*\0", 4)) || startsWith(b, std::string_view("MM\0*", 4)))
        return true;
    if (startsWith(b, "RIFF") && startsWith(b, "WEBP", 8)) return true;
    if (startsWith(b, "ftyp", 4)) return true;  // HEIF, HEIC, AVIF: an ISO media file; libheif decides
    if (b.size() >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '6') return true;  // PNM
    return false;
}

}  // namespace tavori::DocumentFile
