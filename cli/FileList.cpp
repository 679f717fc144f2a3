#include "cli/FileList.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

#include "TavoriCore/Unicode.h"

#include "TavoriKit/reading/DocumentFiles.h"

namespace fs = std::filesystem;

namespace tavori::FileList {
namespace {

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().native();
    return !name.empty() && name.front() == '.';
}

using Identity = std::pair<dev_t, ino_t>;

struct Walk {
    std::set<Identity> visited;  // folders entered, by device and inode
    std::vector<std::string>* skipped;
};

// Supported files of `folder` and its subfolders, as paths below it, in byte order of those relative paths.
// A folder reached a second time (a link back to a parent or to a folder already read) is not entered again.
void collect(const fs::path& folder, const fs::path& relative, std::vector<fs::path>& out, Walk& walk) {
    struct stat info {};
    if (::stat((folder / relative).c_str(), &info) != 0) return;
    if (!walk.visited.insert({info.st_dev, info.st_ino}).second) {
        if (walk.skipped)
            walk.skipped->push_back("同じフォルダに戻るリンクのため読み飛ばしました: " +
                                    Unicode::toValidUtf8((folder / relative).native()));
        return;
    }
    std::error_code ec;
    fs::directory_iterator it(folder / relative, ec);
    if (ec) return;
    std::vector<fs::path> files;
    std::vector<fs::path> folders;
    for (fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::path& entry = it->path();
        if (isHidden(entry)) continue;
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            folders.push_back(relative / entry.filename());
        } else if (DocumentFiles::isSupported(entry)) {
            files.push_back(relative / entry.filename());
        }
    }
    auto byBytes = [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); };
    std::sort(files.begin(), files.end(), byBytes);
    std::sort(folders.begin(), folders.end(), byBytes);
    // Merged so that the whole list stays in byte order of the relative paths.
    std::vector<fs::path> below;
    for (const auto& sub : folders) collect(folder, sub, below, walk);
    std::vector<fs::path> merged;
    std::merge(files.begin(), files.end(), below.begin(), below.end(), std::back_inserter(merged), byBytes);
    out.insert(out.end(), merged.begin(), merged.end());
}

// The same file named in two ways ("a/./b.pdf", "a/b.pdf", relative and absolute) counts once.
std::string lexicalIdentity(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    return absolute.lexically_normal().native();
}

// So does a file reached again through a link or a second hard link, found in a folder; a link the user
// names himself is his choice and stays.
std::optional<Identity> fileIdentity(const fs::path& path, bool named) {
    struct stat info {};
    if (named && (::lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode))) return std::nullopt;
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return Identity{info.st_dev, info.st_ino};
}

}  // namespace

std::vector<fs::path> expand(std::span<const fs::path> paths, bool recursive,
                             std::vector<std::string>* skipped) {
    std::vector<fs::path> result;
    std::set<std::string> seen;
    std::set<Identity> seenFiles;
    auto keep = [&](const fs::path& path, bool named) {
        const auto file = fileIdentity(path, named);
        if (file && seenFiles.contains(*file)) return;
        if (!seen.insert(lexicalIdentity(path)).second) return;
        if (file) seenFiles.insert(*file);
        result.push_back(path);
    };
    for (const auto& path : paths) {
        std::error_code ec;
        const std::size_t before = result.size();
        const bool folder = fs::is_directory(path, ec);
        if (recursive && folder) {
            std::vector<fs::path> relative;
            Walk walk{{}, skipped};
            collect(path, {}, relative, walk);
            for (const auto& r : relative) keep(path / r, false);
        } else {
            for (const auto& file : DocumentFiles::expand({&path, 1})) keep(file, !folder);
        }
        // A folder without documents stays in the list, for the reading to say so.
        if (folder && result.size() == before) result.push_back(path);
    }
    return result;
}

}  // namespace tavori::FileList
