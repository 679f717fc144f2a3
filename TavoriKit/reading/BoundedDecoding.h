#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "TavoriKit/reading/Image.h"

// PNG and JPEG decoding whose memory does not follow what the header declares: a PNG is read row by row and
// shrunk by a whole factor as it is read, a JPEG is shrunk by libjpeg while it decodes and may use only so
// much working memory (a progressive file otherwise keeps every coefficient of the full-size image). Library
// warnings are swallowed: damage is reported through the result.
namespace tavori::BoundedDecoding {

// The most the decoded pixels of one image may take; the decoder's own buffers come on top, bounded alike.
inline constexpr std::size_t kMaxImageBytes = 128u << 20;
// libjpeg's working memory (a progressive JPEG's coefficients) and libpng's buffers.
inline constexpr std::size_t kMaxWorkingBytes = 96u << 20;

struct Decoded {
    enum class Status {
        decoded,
        damaged,
        tooLarge,    // its image cannot be held within the bounds at any size this decoder offers
        notHandled,  // not a file this decoder reads (another format, or a CMYK JPEG)
    };
    Image image;
    Status status = Status::notHandled;
};

// A PNG shrunk by the largest whole factor that keeps at least `minimumPixels` (0: full size), and further
// when the result would exceed kMaxImageBytes. Transparent pixels are laid on white. Grey images stay 8-bit
// grey, all others become 32-bit colour.
Decoded png(std::span<const std::uint8_t> bytes, double minimumPixels = 0);

// A JPEG decoded at 1/1, 1/2, 1/4 or 1/8 of its size, the smallest that keeps at least `minimumPixels`, and
// smaller still when the result would exceed kMaxImageBytes. A complete file with damaged data inside is read
// as far as it decodes; a file cut short is not read. CMYK files are notHandled, left to `Leptonica::decode`.
Decoded jpeg(std::span<const std::uint8_t> bytes, double minimumPixels = 0);

// The size a PNG or JPEG declares, read from the bytes without a library (whose header readers print
// warnings of their own); nothing for other formats or a header that cannot be found.
std::optional<ImageHeader> readHeader(std::span<const std::uint8_t> bytes);

bool isPng(std::span<const std::uint8_t> bytes);
bool isJpeg(std::span<const std::uint8_t> bytes);

}  // namespace tavori::BoundedDecoding
