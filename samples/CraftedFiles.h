#pragma once

#include <cstdint>
#include <vector>

// Files made to hurt a reader, written at run time for the tests and benchmarks.
namespace tavori::CraftedFiles {

// A complete, valid PNG of width × height pixels that are all zero (transparent black for RGBA, colour type
// 6; 2 is RGB, 0 grey), as small as deflate makes it: 12000 × 12000 RGBA is about 560 KB on disk and 550 MB
// decoded.
std::vector<std::uint8_t> zeroPng(std::uint32_t width, std::uint32_t height, std::uint8_t colourType = 6,
                                  bool interlaced = false);

// The same header with no pixel data: a reader that refuses by the header alone never notices.
std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height,
                                        std::uint8_t colourType = 6, bool interlaced = false);

}  // namespace tavori::CraftedFiles
