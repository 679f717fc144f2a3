#include "TavoriKit/RenameService.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <random>
#include <unordered_set>
#include <utility>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/IndexBookCSV.h"
#include "TavoriCore/Unicode.h"

namespace tavori {

namespace fs = std::filesystem;
using Case = RenameServiceError::Case;

namespace {

std::string shownName(const fs::path& path) {
    fs::path name = path.filename();
    if (name.empty()) name = path.parent_path().filename();
    return Unicode::toValidUtf8(name.native());
}

std::string reason(std::error_code code) {
    if (code.category() == std::generic_category() || code.category() == std::system_category()) {
        switch (code.value()) {
            case ENOSPC:
            case EDQUOT:
                return "空き容量が足りません";
            case EACCES:
            case EPERM:
                return "アクセスが許可されていません";
            case EROFS:
                return "読み取り専用の場所です";
            case ENAMETOOLONG:
                return "名前が長すぎます";
            case ENOENT:
                return "見つかりません";
            case ENOTDIR:
                return "途中にフォルダではないものがあります";
            case EISDIR:
                return "フォルダです";
            case EEXIST:
                return "同じ名前のものが既にあります";
            case EIO:
                return "読み書きのエラーが発生しました";
            default:
                break;
        }
    }
    return code.message();
}

std::string describe(Case c, const fs::path& path, std::error_code code) {
    std::string text;
    switch (c) {
        case Case::sourceMissing:
            return "元ファイルが見つかりません: " + shownName(path);
        case Case::destinationMissing:
            return "保存先フォルダが選ばれていません";
        case Case::invalidIndexBookName:
            return "索引簿のファイル名が正しくありません: 「" + Unicode::toValidUtf8(path.native()) +
                   "」（フォルダを含まないファイル名を指定してください）";
        case Case::folderNotCreated:
            text = "保存先フォルダを作成できません: ";
            break;
        case Case::copyFailed:
            text = "ファイルをコピーできません: ";
            break;
        case Case::moveFailed:
            text = "ファイルを移動できません: ";
            break;
        case Case::sourceNotRemoved:
            text = "移動先に保存しましたが、元ファイルを削除できません: ";
            break;
        case Case::indexBookNotWritten:
            text = "索引簿に書き込めません: ";
            break;
    }
    text += shownName(path);
    if (code) text += "（" + reason(code) + "）";
    return text;
}

// The one place where a system error becomes the user's error.
[[noreturn]] void fail(Case c, const fs::path& path, int error = 0) {
    throw RenameServiceError(c, path,
                             error ? std::error_code(error, std::generic_category()) : std::error_code());
}

[[noreturn]] void fail(Case c, const fs::path& path, std::error_code code) {
    throw RenameServiceError(c, path, code);
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // 0 or the errno of close, which is where some file systems report a failed write.
    int close() {
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Where to run calls for a folder given as an empty path (a relative source without a folder).
fs::path usable(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

fs::path withoutTrailingSeparator(fs::path folder) {
    while (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
    return folder;
}

bool sameLocation(const fs::path& a, const fs::path& b) {
    return a.lexically_normal() == b.lexically_normal();
}

std::string lowercasedName(std::string_view name) {
    return Unicode::lowercased(name);
}

int writeAll(const FileSystemCalls& calls, int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = calls.write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

int readAll(int fd, std::string& out) {
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        out.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

void syncFolder(const fs::path& folder) {
    // Makes a rename durable; file systems that cannot sync a folder are left as they are.
    FileDescriptor fd(::open(usable(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

std::string temporaryName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char name[40];
    std::snprintf(name, sizeof name, ".tavori-%016llx.tmp", static_cast<unsigned long long>(random()));
    return name;
}

struct Temporary {
    FileDescriptor fd;
    fs::path path;
    int error = 0;
};

// A new, exclusively created file in `folder`, where it can later be renamed into place on the same file
// system.
Temporary createTemporary(const FileSystemCalls& calls, const fs::path& folder, mode_t mode) {
    Temporary temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary.path = folder / temporaryName();
        temporary.fd =
            FileDescriptor(calls.open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (temporary.fd.get() >= 0) return temporary;
        temporary.error = errno;
        if (temporary.error != EEXIST) break;
    }
    return temporary;
}

// A copy of `source` under a temporary name in `folder`, written, synced and closed, with the source's
// permissions and times. On failure nothing is left behind and `failure` is thrown.
fs::path copyToTemporary(const FileSystemCalls& calls, const fs::path& source, const fs::path& folder,
                         Case failure) {
    // Non-blocking, so that a named pipe in place of the source cannot hang the save.
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) {
        const int error = errno;
        if (error == ENOENT) fail(Case::sourceMissing, source);
        fail(failure, source, error);
    }
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) fail(failure, source, errno);
    if (!S_ISREG(info.st_mode)) fail(failure, source, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);

    Temporary out = createTemporary(calls, usable(folder), 0600);
    if (out.fd.get() < 0) fail(failure, source, out.error);
    const auto abandon = [&](int error) {
        out.fd.close();
        calls.unlink(out.path.c_str());
        fail(failure, source, error);
    };

    std::string buffer(1 << 20, '\0');
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        if (got == 0) break;
        if (const int error = writeAll(calls, out.fd.get(), std::string_view(buffer.data(), got)))
            abandon(error);
    }
    // Best effort: some file systems keep neither.
    ::fchmod(out.fd.get(), info.st_mode & 0777);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.fd.get(), times);
    if (calls.fsync(out.fd.get()) != 0) abandon(errno);
    if (const int error = out.fd.close()) {
        calls.unlink(out.path.c_str());
        fail(failure, source, error);
    }
    return out.path;
}

struct Placement {
    int error = 0;            // 0, EEXIST when `to` is taken, EXDEV across file systems, or another errno
    int sourceLeftError = 0;  // placed, but `from` could not be removed afterwards
};

// Renames `from` to `to` unless `to` exists. Where the file system cannot rename without replacing, a hard
// link does the same; where it has no hard links either, an empty file claims the name first, exclusively,
// and the rename then replaces only that.
Placement placeOnce(const FileSystemCalls& calls, const fs::path& from, const fs::path& to) {
    if (calls.renameNoReplace(from.c_str(), to.c_str()) == 0) return {};
    int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return {error};

    if (calls.link(from.c_str(), to.c_str()) == 0) {
        if (calls.unlink(from.c_str()) != 0) return {0, errno};
        return {};
    }
    error = errno;
    if (error != EPERM && error != ENOTSUP && error != ENOSYS && error != EMLINK && error != EINVAL)
        return {error};

    FileDescriptor claim(calls.open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (claim.get() < 0) return {errno};
    claim.close();
    if (calls.rename(from.c_str(), to.c_str()) == 0) return {};
    error = errno;
    calls.unlink(to.c_str());
    return {error};
}

struct FolderNames {
    fs::path folder;
    std::unordered_set<std::string> taken;  // lower-cased
};

std::unordered_set<std::string> listNames(const fs::path& folder) {
    std::unordered_set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(usable(folder), ec), end; !ec && it != end; it.increment(ec))
        names.insert(lowercasedName(it->path().filename().native()));
    return names;
}

struct Placed {
    Placement placement;
    fs::path destination;
};

// Renames `from` to the first free name in the folder, taking the next one whenever a name turns out to be
// taken on disk although the listing did not show it.
Placed placeUnderFreeName(const FileSystemCalls& calls, const fs::path& from, FolderNames& names,
                          std::string_view base, std::string_view ext) {
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const std::string name = FileNameTemplate::uniqueName(base, ext, names.taken);
        Placed placed{placeOnce(calls, from, names.folder / name), names.folder / name};
        if (placed.placement.error == 0 || placed.placement.error == EEXIST)
            names.taken.insert(lowercasedName(name));
        if (placed.placement.error != EEXIST) return placed;
    }
    return {{EEXIST}, {}};
}

// The source's extension in lower case; bytes that are not UTF-8 are kept, only their ASCII letters lowered.
std::string lowercasedExtension(const fs::path& source) {
    std::string ext = source.extension().native();
    if (!ext.empty()) ext.erase(0, 1);
    if (Unicode::toValidUtf8(ext) == ext) return Unicode::lowercased(ext);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

// The base name as given, without the bytes that would leave the folder or end the path early; an empty
// result keeps the source's own name byte for byte, so a save never makes a nameless file such as ".pdf".
std::string safeBaseName(std::string_view baseName, const fs::path& source) {
    std::string base;
    for (char c : baseName)
        if (c != '/' && c != '\0') base += c;
    if (base == "." || base == "..") base.clear();
    return base.empty() ? source.stem().native() : base;
}

void executeOne(const RenamePlan& plan, std::map<fs::path, FolderNames>& folders,
                const FileSystemCalls& calls, std::vector<RenameResult>& results) {
    const bool inPlace = plan.mode == RenamePlan::Mode::renameInPlace;
    const Case failure = plan.mode == RenamePlan::Mode::copy ? Case::copyFailed : Case::moveFailed;

    struct stat info {};
    if (::stat(plan.source.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) fail(Case::sourceMissing, plan.source);
        fail(failure, plan.source, error);
    }

    const fs::path folder =
        withoutTrailingSeparator(inPlace ? plan.source.parent_path() : plan.destinationDirectory);
    if (!inPlace && folder.empty()) fail(Case::destinationMissing, {});
    if (!folder.empty()) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) fail(Case::folderNotCreated, folder, ec);
    }

    const fs::path key = usable(folder).lexically_normal();
    auto [entry, isNew] = folders.try_emplace(key);
    FolderNames& names = entry->second;
    if (isNew) {
        names.folder = folder;
        names.taken = listNames(folder);
    }
    if (inPlace) names.taken.erase(lowercasedName(plan.source.filename().native()));

    const std::string base = safeBaseName(plan.baseName, plan.source);
    const std::string ext = lowercasedExtension(plan.source);

    const std::string firstName = FileNameTemplate::uniqueName(base, ext, names.taken);
    if (sameLocation(folder / firstName, plan.source)) {
        names.taken.insert(lowercasedName(firstName));
        results.push_back({plan.source, plan.source});
        return;
    }

    if (plan.mode == RenamePlan::Mode::copy) {
        const fs::path temporary = copyToTemporary(calls, plan.source, folder, Case::copyFailed);
        const Placed placed = placeUnderFreeName(calls, temporary, names, base, ext);
        if (placed.placement.error != 0) {
            calls.unlink(temporary.c_str());
            fail(Case::copyFailed, plan.source, placed.placement.error);
        }
        if (placed.placement.sourceLeftError != 0) calls.unlink(temporary.c_str());
        syncFolder(folder);
        results.push_back({plan.source, placed.destination});
        return;
    }

    Placed placed = placeUnderFreeName(calls, plan.source, names, base, ext);
    if (placed.placement.error == EXDEV && !inPlace) {
        // Another file system: the original goes only once its copy is safely in place.
        const fs::path temporary = copyToTemporary(calls, plan.source, folder, Case::moveFailed);
        placed = placeUnderFreeName(calls, temporary, names, base, ext);
        if (placed.placement.error != 0) {
            calls.unlink(temporary.c_str());
            fail(Case::moveFailed, plan.source, placed.placement.error);
        }
        if (placed.placement.sourceLeftError != 0) calls.unlink(temporary.c_str());
        syncFolder(folder);
        results.push_back({plan.source, placed.destination});
        if (calls.unlink(plan.source.c_str()) != 0 && errno != ENOENT)
            fail(Case::sourceNotRemoved, plan.source, errno);
        syncFolder(plan.source.parent_path());
        return;
    }
    if (placed.placement.error != 0) {
        if (placed.placement.error == ENOENT && ::lstat(plan.source.c_str(), &info) != 0 && errno == ENOENT)
            fail(Case::sourceMissing, plan.source);
        fail(Case::moveFailed, plan.source, placed.placement.error);
    }
    syncFolder(folder);
    if (!inPlace) syncFolder(plan.source.parent_path());
    results.push_back({plan.source, placed.destination});
    if (placed.placement.sourceLeftError != 0)
        fail(Case::sourceNotRemoved, plan.source, placed.placement.sourceLeftError);
}

void checkBookPath(const fs::path& book) {
    if (!RenameService::isPlainFileName(book.filename().native()))
        fail(Case::invalidIndexBookName, book.filename());
}

// Records that hold anything, reading CSV quoting, so that a line break inside a quoted field does not count
// as a row; a quote opens a quoted field only at the field's start.
std::int64_t countRecords(std::string_view text) {
    std::int64_t count = 0;
    bool inQuotes = false;
    bool fieldStart = true;
    bool hasContent = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"')
                    ++i;
                else
                    inQuotes = false;
            }
            continue;
        }
        if (c == '\n' || c == '\r') {
            if (hasContent) ++count;
            hasContent = false;
            fieldStart = true;
            continue;
        }
        hasContent = true;
        if (c == '"' && fieldStart) {
            inQuotes = true;
            fieldStart = false;
            continue;
        }
        fieldStart = c == ',';
    }
    if (hasContent) ++count;
    return count;
}

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.starts_with(byteOrderMark)) text.remove_prefix(byteOrderMark.size());
    return text;
}

// What must come first so that the book's last record is ended before new ones follow.
std::string_view lineBreakBefore(std::string_view content) {
    const std::string_view text = withoutByteOrderMark(content);
    if (text.empty() || text.back() == '\n') return {};
    if (text.back() == '\r') return "\n";
    return "\r\n";
}

std::string rowsWithoutHeader(const std::string& rendered) {
    const std::size_t end = rendered.find("\r\n");
    return end == std::string::npos ? std::string() : rendered.substr(end + 2);
}

void appendRows(std::span<const IndexBookEntry> entries, const fs::path& book, int fd,
                const FileSystemCalls& calls) {
    // Another save running at the same moment waits rather than interleaving its rows.
    ::flock(fd, LOCK_EX);
    std::string content;
    if (const int error = readAll(fd, content)) fail(Case::indexBookNotWritten, book, error);

    std::vector<IndexBookEntry> rows(entries.begin(), entries.end());
    if (Unicode::toValidUtf8(content) == content) {
        const std::int64_t existing = countRecords(withoutByteOrderMark(content));
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].sequence = (existing > 0 ? existing - 1 : 0) + static_cast<std::int64_t>(i) + 1;
    }
    const std::string body = rowsWithoutHeader(IndexBookCSV::render(rows, false));
    if (body.empty()) return;
    const std::string data = std::string(lineBreakBefore(content)) + body;

    const auto restore = [&](int error) {
        if (::ftruncate(fd, static_cast<off_t>(content.size())) == 0) ::fsync(fd);
        fail(Case::indexBookNotWritten, book, error);
    };
    if (const int error = writeAll(calls, fd, data)) restore(error);
    if (calls.fsync(fd) != 0) restore(errno);
}

// Writes a complete new book under a temporary name and renames it into place. Without `replace`, an existing
// book is left alone and false is returned.
bool createBook(std::span<const IndexBookEntry> entries, const fs::path& book, const FileSystemCalls& calls,
                bool replace) {
    const std::string text = IndexBookCSV::render(entries, true);
    Temporary temporary = createTemporary(calls, usable(book.parent_path()), 0666);
    if (temporary.fd.get() < 0) fail(Case::indexBookNotWritten, book, temporary.error);
    const auto abandon = [&](int error) {
        temporary.fd.close();
        calls.unlink(temporary.path.c_str());
        fail(Case::indexBookNotWritten, book, error);
    };
    if (const int error = writeAll(calls, temporary.fd.get(), text)) abandon(error);
    if (calls.fsync(temporary.fd.get()) != 0) abandon(errno);
    if (const int error = temporary.fd.close()) abandon(error);

    if (replace) {
        if (calls.rename(temporary.path.c_str(), book.c_str()) != 0) abandon(errno);
    } else {
        const Placement placement = placeOnce(calls, temporary.path, book);
        if (placement.error == EEXIST) {
            calls.unlink(temporary.path.c_str());
            return false;
        }
        if (placement.error != 0) abandon(placement.error);
        if (placement.sourceLeftError != 0) calls.unlink(temporary.path.c_str());
    }
    syncFolder(book.parent_path());
    return true;
}

}  // namespace

RenameServiceError::RenameServiceError(Case c, fs::path path, std::error_code code)
    : case_(c), path_(std::move(path)), code_(code), message_(describe(c, path_, code)) {}

std::ostream& operator<<(std::ostream& os, RenameServiceError::Case c) {
    switch (c) {
        case Case::sourceMissing:
            return os << "sourceMissing";
        case Case::destinationMissing:
            return os << "destinationMissing";
        case Case::folderNotCreated:
            return os << "folderNotCreated";
        case Case::copyFailed:
            return os << "copyFailed";
        case Case::moveFailed:
            return os << "moveFailed";
        case Case::sourceNotRemoved:
            return os << "sourceNotRemoved";
        case Case::indexBookNotWritten:
            return os << "indexBookNotWritten";
        case Case::invalidIndexBookName:
            return os << "invalidIndexBookName";
    }
    return os << "unknown";
}

namespace RenameService {

std::vector<RenameResult> execute(std::span<const RenamePlan> plans, const FileSystemCalls& calls) {
    std::vector<RenameResult> results;
    results.reserve(plans.size());
    std::map<fs::path, FolderNames> folders;
    try {
        for (const RenamePlan& plan : plans) executeOne(plan, folders, calls, results);
    } catch (RenameServiceError& error) {
        error.setCompletedResults(std::move(results));
        throw;
    }
    return results;
}

void appendIndexBook(std::span<const IndexBookEntry> entries, const fs::path& book,
                     const FileSystemCalls& calls) {
    checkBookPath(book);
    FileDescriptor fd(calls.open(book.c_str(), O_RDWR | O_APPEND | O_CLOEXEC, 0));
    if (fd.get() < 0) {
        if (errno != ENOENT) fail(Case::indexBookNotWritten, book, errno);
        if (createBook(entries, book, calls, false)) return;
        // Created by someone else a moment ago: append to theirs.
        fd = FileDescriptor(calls.open(book.c_str(), O_RDWR | O_APPEND | O_CLOEXEC, 0));
        if (fd.get() < 0) fail(Case::indexBookNotWritten, book, errno);
    }
    appendRows(entries, book, fd.get(), calls);
}

void writeIndexBook(std::span<const IndexBookEntry> entries, const fs::path& book,
                    const FileSystemCalls& calls) {
    checkBookPath(book);
    createBook(entries, book, calls, true);
}

bool isPlainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= FileNameTemplate::maxNameBytes &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

fs::path indexBookPath(const fs::path& folder, std::string_view fileName) {
    if (!isPlainFileName(fileName)) fail(Case::invalidIndexBookName, fs::path(std::string(fileName)));
    return folder / fileName;
}

}  // namespace RenameService

}  // namespace tavori
