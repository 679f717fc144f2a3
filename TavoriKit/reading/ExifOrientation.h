#pragma once

#include <cstdint>
#include <span>
#include <vector>

// libexif at the Kit's edge: the EXIF orientation of JPEG files.
namespace tavori::ExifOrientation {

// The orientation (1 upright to 8) recorded in the bytes' EXIF block; 1 when there is none or it is invalid.
int read(std::span<const std::uint8_t> jpeg);
// The JPEG with an EXIF block holding `orientation` inserted after its start marker (for fixtures and tools).
// Empty when the bytes are not a JPEG or the orientation is outside 1 to 8.
std::vector<std::uint8_t> withOrientation(std::span<const std::uint8_t> jpeg, int orientation);

}  // namespace tavori::ExifOrientation
