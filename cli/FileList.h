#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Which files a command works on: the paths the user named, with folders replaced by their documents.
namespace tavori::FileList {

// Each folder gives its non-hidden supported files sorted by name bytes (with `recursive`, those of its
// non-hidden subfolders too, sorted by their path below the folder); any other path stays as given. A folder
// that cannot be listed or holds no documents stays as given, for the reading to report. A file that appeared
// earlier is dropped: named again ("./"), or found in a folder under another name (a link). A walk never
// enters a folder twice: each link back into a folder already read is skipped and described in Japanese in
// `skipped`.
std::vector<std::filesystem::path> expand(std::span<const std::filesystem::path> paths,
                                          bool recursive = false,
                                          std::vector<std::string>* skipped = nullptr);

}  // namespace tavori::FileList
