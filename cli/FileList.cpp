#include "cli/FileList.h"

#include <algorithm>
#include <set>

#include "TavoriKit/reading/DocumentFiles.h"

namespace fs = std::filesystem;

namespace tavori::FileList {
namespace {

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().native();
    return !name.empty() && name.front() == '.';
}

// Supported files of `folder` and its subfolders, as paths below it, in byte order of those relative paths.
void collect(const fs::path& folder, const fs::path& relative, std::vector<fs::path>& out) {
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
    for (const auto& sub : folders) collect(folder, sub, below);
    std::vector<fs::path> merged;
    std::merge(files.begin(), files.end(), below.begin(), below.end(), std::back_inserter(merged), byBytes);
    out.insert(out.end(), merged.begin(), merged.end());
}

// The same file named in two ways ("a/./b.pdf", "a/b.pdf", or relative and absolute) counts once.
std::string identity(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    return absolute.lexically_normal().native();
}

}  // namespace

std::vector<fs::path> expand(std::span<const fs::path> paths, bool recursive) {
    std::vector<fs::path> result;
    std::set<std::string> seen;
    auto keep = [&](const fs::path& path) {
        if (seen.insert(identity(path)).second) result.push_back(path);
    };
    for (const auto& path : paths) {
        std::error_code ec;
        if (recursive && fs::is_directory(path, ec)) {
            std::vector<fs::path> relative;
            collect(path, {}, relative);
            for (const auto& r : relative) keep(path / r);
        } else {
            for (const auto& file : DocumentFiles::expand({&path, 1})) keep(file);
        }
    }
    return result;
}

}  // namespace tavori::FileList
