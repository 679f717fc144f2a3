#include "TavoriKit/saving/RenameService.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <unordered_set>
#include <utility>

#include "TavoriCore/CsvReader.h"
#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/IndexBookCSV.h"
#include "TavoriCore/Unicode.h"
#include "TavoriKit/base/FileDescriptor.h"

namespace tavori {

namespace fs = std::filesystem;
using Case = RenameServiceError::Case;

using FileIO::createTemporary;
using FileIO::readAll;
using FileIO::syncFolder;
using FileIO::Temporary;
using FileIO::writeAll;

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
        case Case::exportNotWritten:
            text = "書き出せません: ";
            break;
        case Case::indexBookNotRegularFile:
            return "索引簿の場所に通常のファイルではないもの（リンクやフォルダなど）があります: " +
                   shownName(path);
        case Case::indexBookNotUtf8:
            return "索引簿がUTF-8ではないため追記できません: " + shownName(path) +
                   "（UTF-8で保存し直すか、別の索引簿のファイル名を指定してください）";
        case Case::destinationNotWritable:
            text = "保存先フォルダに書き込めません: ";
            break;
        case Case::exportTargetExists:
            return "同じ名前のファイルが既にあります: " + shownName(path);
        case Case::cancelled:
            return "保存を中止しました";
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

// A copy placed under a temporary name: `hold` keeps the file's lock until the copy has its name.
struct HeldCopy {
    fs::path path;
    FileDescriptor hold;
};

// A copy of `source` under a temporary name in `folder`, written, synced and closed, with the source's
// permissions and times. On failure nothing is left behind and `failure` is thrown.
HeldCopy copyToTemporary(const FileSystemCalls& calls, const fs::path& source, const fs::path& folder,
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
    FileDescriptor hold(::dup(out.fd.get()));
    if (const int error = out.fd.close()) {
        calls.unlink(out.path.c_str());
        fail(failure, source, error);
    }
    return {out.path, std::move(hold)};
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

// The base name as given, without the bytes that would leave the folder or end the path early; an empty
// result keeps the source's own name byte for byte, so a save never makes a nameless file such as ".pdf".
std::string safeBaseName(std::string_view baseName, const fs::path& source) {
    std::string base;
    for (char c : baseName)
        if (c != '/' && c != '\0') base += c;
    if (base == "." || base == "..") base.clear();
    return base.empty() ? source.stem().native() : base;
}

// Folder syncs that make a placement durable are left in `toSync`, so that the caller can record the file
// first: a process killed in between then still has the record.
void executeOne(const RenamePlan& plan, std::map<fs::path, FolderNames>& folders,
                const FileSystemCalls& calls, std::vector<RenameResult>& results,
                std::vector<fs::path>& toSync) {
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
    const std::string ext = FileNameTemplate::lowercasedExtension(plan.source);

    const std::string firstName = FileNameTemplate::uniqueName(base, ext, names.taken);
    if (sameLocation(folder / firstName, plan.source)) {
        names.taken.insert(lowercasedName(firstName));
        results.push_back({plan.source, plan.source});
        return;
    }

    if (plan.mode == RenamePlan::Mode::copy) {
        const HeldCopy copied = copyToTemporary(calls, plan.source, folder, Case::copyFailed);
        const fs::path& temporary = copied.path;
        const Placed placed = placeUnderFreeName(calls, temporary, names, base, ext);
        if (placed.placement.error != 0) {
            calls.unlink(temporary.c_str());
            fail(Case::copyFailed, plan.source, placed.placement.error);
        }
        if (placed.placement.sourceLeftError != 0) calls.unlink(temporary.c_str());
        toSync.push_back(folder);
        results.push_back({plan.source, placed.destination});
        return;
    }

    Placed placed = placeUnderFreeName(calls, plan.source, names, base, ext);
    if (placed.placement.error == EXDEV && !inPlace) {
        // Another file system: the original goes only once its copy is safely in place.
        const HeldCopy copied = copyToTemporary(calls, plan.source, folder, Case::moveFailed);
        const fs::path& temporary = copied.path;
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
        toSync.push_back(plan.source.parent_path());
        return;
    }
    if (placed.placement.error != 0) {
        if (placed.placement.error == ENOENT && ::lstat(plan.source.c_str(), &info) != 0 && errno == ENOENT)
            fail(Case::sourceMissing, plan.source);
        fail(Case::moveFailed, plan.source, placed.placement.error);
    }
    toSync.push_back(folder);
    if (!inPlace) toSync.push_back(plan.source.parent_path());
    results.push_back({plan.source, placed.destination});
    if (placed.placement.sourceLeftError != 0)
        fail(Case::sourceNotRemoved, plan.source, placed.placement.sourceLeftError);
}

void checkBookPath(const fs::path& book) {
    if (!RenameService::isPlainFileName(book.filename().native()))
        fail(Case::invalidIndexBookName, book.filename());
}

// Records that hold anything, read as the index book's reader reads them (a line break inside quotes is not
// a row, a stray quote hides no row).
std::int64_t countRecords(std::string_view text, const fs::path& book) {
    try {
        return static_cast<std::int64_t>(CsvReader::countRecords(text));
    } catch (const CsvError& e) {
        RenameServiceError error(Case::indexBookNotWritten, book);
        error.appendToDescription(std::string("（") + e.what() + "）");
        throw error;
    }
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
        const std::int64_t existing = countRecords(withoutByteOrderMark(content), book);
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].sequence = (existing > 0 ? existing - 1 : 0) + static_cast<std::int64_t>(i) + 1;
    }
    const std::string body = rowsWithoutHeader(
        IndexBookCSV::render(rows, false, IndexBookCSV::hasTaxColumns(withoutByteOrderMark(content))));
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
// The whole of `text` at `book`, written beside it and renamed into place; without `replace`, false and
// nothing changed when a file is there already.
bool writeWhole(std::string_view text, const fs::path& book, const FileSystemCalls& calls, bool replace,
                Case notWritten) {
    Temporary temporary = createTemporary(calls, usable(book.parent_path()), 0666);
    if (temporary.fd.get() < 0) fail(notWritten, book, temporary.error);
    const auto abandon = [&](int error) {
        temporary.fd.close();
        calls.unlink(temporary.path.c_str());
        fail(notWritten, book, error);
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

// A new book has the tax-rate columns when its rows carry amounts by rate.
bool createBook(std::span<const IndexBookEntry> entries, const fs::path& book, const FileSystemCalls& calls,
                bool replace, bool taxColumns = false) {
    taxColumns = taxColumns || std::any_of(entries.begin(), entries.end(), [](const IndexBookEntry& e) {
                     return e.taxBreakdown.has_value();
                 });
    return writeWhole(IndexBookCSV::render(entries, true, taxColumns), book, calls, replace,
                      Case::indexBookNotWritten);
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
        case Case::indexBookNotRegularFile:
            return os << "indexBookNotRegularFile";
        case Case::indexBookNotUtf8:
            return os << "indexBookNotUtf8";
        case Case::destinationNotWritable:
            return os << "destinationNotWritable";
        case Case::exportTargetExists:
            return os << "exportTargetExists";
        case Case::exportNotWritten:
            return os << "exportNotWritten";
        case Case::cancelled:
            return os << "cancelled";
    }
    return os << "unknown";
}

namespace RenameService {

std::vector<RenameResult> execute(std::span<const RenamePlan> plans, const FileSystemCalls& calls) {
    return execute(plans, calls, {});
}

std::vector<RenameResult> execute(std::span<const RenamePlan> plans, const FileSystemCalls& calls,
                                  const std::function<void(std::size_t, const RenameResult&)>& placed) {
    std::vector<RenameResult> results;
    results.reserve(plans.size());
    std::map<fs::path, FolderNames> folders;
    std::size_t reported = 0;
    const auto report = [&] {
        if (!placed) return;
        while (reported < results.size()) {
            const std::size_t index = reported++;
            placed(index, results[index]);
        }
    };
    std::vector<fs::path> toSync;
    const auto sync = [&] {
        for (const fs::path& folder : toSync) syncFolder(folder);
        toSync.clear();
    };
    try {
        for (const RenamePlan& plan : plans) {
            executeOne(plan, folders, calls, results, toSync);
            report();
            sync();
        }
    } catch (RenameServiceError& error) {
        // A file placed just before its plan failed (its original could not be removed) is reported too.
        try {
            report();
        } catch (const RenameServiceError&) {
        }
        sync();
        error.setCompletedResults(std::move(results));
        throw;
    }
    return results;
}

std::vector<fs::path> plannedDestinations(std::span<const RenamePlan> plans) {
    std::vector<fs::path> destinations;
    destinations.reserve(plans.size());
    std::map<fs::path, FolderNames> folders;
    for (const RenamePlan& plan : plans) {
        const bool inPlace = plan.mode == RenamePlan::Mode::renameInPlace;
        const fs::path folder =
            withoutTrailingSeparator(inPlace ? plan.source.parent_path() : plan.destinationDirectory);
        auto [entry, isNew] = folders.try_emplace(usable(folder).lexically_normal());
        FolderNames& names = entry->second;
        if (isNew) {
            names.folder = folder;
            names.taken = listNames(folder);
        }
        if (inPlace) names.taken.erase(lowercasedName(plan.source.filename().native()));
        const std::string name =
            FileNameTemplate::uniqueName(safeBaseName(plan.baseName, plan.source),
                                         FileNameTemplate::lowercasedExtension(plan.source), names.taken);
        names.taken.insert(lowercasedName(name));
        destinations.push_back(sameLocation(folder / name, plan.source) ? plan.source : folder / name);
    }
    return destinations;
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

void writeNewIndexBook(std::span<const IndexBookEntry> entries, const fs::path& book,
                       const FileSystemCalls& calls) {
    checkBookPath(book);
    if (!createBook(entries, book, calls, false)) fail(Case::exportTargetExists, book);
}

void writeExportFile(std::string_view bytes, const fs::path& target, bool replaceExisting,
                     const FileSystemCalls& calls) {
    if (!writeWhole(bytes, target, calls, replaceExisting, Case::exportNotWritten))
        fail(Case::exportTargetExists, target);
}

void checkWritableFolder(const fs::path& folder) {
    fs::path existing = withoutTrailingSeparator(folder);
    struct stat info {};
    while (::stat(usable(existing).c_str(), &info) != 0) {
        if (errno != ENOENT || !existing.has_relative_path())
            fail(Case::destinationNotWritable, folder, errno);
        existing = existing.parent_path();
    }
    if (!S_ISDIR(info.st_mode)) fail(Case::destinationNotWritable, existing, ENOTDIR);
    if (::access(usable(existing).c_str(), W_OK | X_OK) != 0)
        fail(Case::destinationNotWritable, existing, errno);
}

void checkIndexBook(const fs::path& book) {
    checkBookPath(book);
    struct stat info {};
    if (::lstat(book.c_str(), &info) != 0) {
        if (errno != ENOENT) fail(Case::indexBookNotWritten, book, errno);
        checkWritableFolder(usable(book.parent_path()));
        return;
    }
    if (!S_ISREG(info.st_mode)) fail(Case::indexBookNotRegularFile, book);
    FileDescriptor fd(::open(book.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) fail(Case::indexBookNotWritten, book, errno);
    std::string content;
    if (const int error = readAll(fd.get(), content)) fail(Case::indexBookNotWritten, book, error);
    if (Unicode::toValidUtf8(content) != content) fail(Case::indexBookNotUtf8, book);
}

IndexBookAppender::IndexBookAppender(fs::path book, const FileSystemCalls& calls, bool taxColumns)
    : book_(std::move(book)), calls_(calls), taxColumns_(taxColumns) {}

IndexBookAppender::~IndexBookAppender() {
    if (fd_ >= 0) ::close(fd_);
}

void IndexBookAppender::open() {
    if (fd_ >= 0) return;
    checkBookPath(book_);
    FileDescriptor fd(calls_.open(book_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0));
    if (fd.get() < 0) {
        if (errno != ENOENT) fail(Case::indexBookNotWritten, book_, errno);
        // Created before any file moves, so that each file's row can follow it at once. Someone else's book
        // created a moment ago is appended to instead.
        std::error_code ec;
        if (!book_.parent_path().empty()) fs::create_directories(book_.parent_path(), ec);
        createBook({}, book_, calls_, false, taxColumns_);
        fd = FileDescriptor(calls_.open(book_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0));
        if (fd.get() < 0) fail(Case::indexBookNotWritten, book_, errno);
    }
    // Kept open and locked, so that rows of another save do not come between this save's rows.
    ::flock(fd.get(), LOCK_EX);
    std::string content;
    if (const int error = readAll(fd.get(), content)) fail(Case::indexBookNotWritten, book_, error);
    renumber_ = Unicode::toValidUtf8(content) == content;
    if (renumber_) {
        const std::int64_t existing = countRecords(withoutByteOrderMark(content), book_);
        nextSequence_ = (existing > 0 ? existing - 1 : 0) + 1;
    }
    pendingBreak_ = lineBreakBefore(content);
    // The rows follow the book's columns, whatever the setting says now.
    taxColumns_ = IndexBookCSV::hasTaxColumns(withoutByteOrderMark(content));
    fd_ = fd.release();
}

std::int64_t IndexBookAppender::append(IndexBookEntry entry) {
    open();
    if (renumber_) entry.sequence = nextSequence_;
    const IndexBookEntry rows[] = {entry};
    const std::string data =
        pendingBreak_ + rowsWithoutHeader(IndexBookCSV::render(rows, false, taxColumns_));

    struct stat info {};
    const off_t before = ::fstat(fd_, &info) == 0 ? info.st_size : -1;
    const auto restore = [&](int error) {
        if (before >= 0 && ::ftruncate(fd_, before) == 0) ::fsync(fd_);
        fail(Case::indexBookNotWritten, book_, error);
    };
    if (const int error = writeAll(calls_, fd_, data)) restore(error);
    if (calls_.fsync(fd_) != 0) restore(errno);
    pendingBreak_.clear();
    ++nextSequence_;
    return entry.sequence;
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
