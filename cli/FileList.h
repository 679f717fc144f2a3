#pragma once

#include <filesystem>
#include <span>
#include <vector>

// Which files a command works on: the paths the user named, with folders replaced by their documents.
namespace tavori::FileList {

// Each folder gives its non-hidden supported files sorted by name bytes (with `recursive`, those of its
// non-hidden subfolders too, sorted by their path below the folder); any other path stays as given. A folder
// that cannot be listed gives nothing. A path that appeared earlier, as given or from a folder, is dropped.
std::vector<std::filesystem::path> expand(std::span<const std::filesystem::path> paths,
                                          bool recursive = false);

}  // namespace tavori::FileList
