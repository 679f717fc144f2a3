#pragma once

#include <filesystem>
#include <span>
#include <vector>

// Which files are documents this program reads, and the documents in dropped or named folders.
namespace tavori::DocumentFiles {

// By the path's extension, compared in lower case: pdf, jpg, jpeg, png, heic, heif, tif, tiff, gif, bmp,
// webp.
bool isSupported(const std::filesystem::path& path);

// Each path in order: a folder gives its direct, non-hidden, supported files (not subfolders) sorted by file
// name in byte (code-point) order, so "B.pdf" comes before "a.pdf" and "10.pdf" before "2.pdf"; a folder that
// cannot be listed gives nothing; anything else is passed through unchanged, for the caller to filter.
std::vector<std::filesystem::path> expand(std::span<const std::filesystem::path> paths);

}  // namespace tavori::DocumentFiles
