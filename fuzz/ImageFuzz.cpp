#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "TavoriKit/reading/BoundedDecoding.h"
#include "TavoriKit/reading/DocumentFile.h"
#include "TavoriKit/reading/Image.h"

// The image decoders on arbitrary bytes: no crash, and nothing decoded beyond the bound whatever the header
// declares.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavori;
    const std::span<const std::uint8_t> bytes(data, size);
    (void)DocumentFile::looksLikeImage(bytes);
    (void)BoundedDecoding::readHeader(bytes);
    for (const double minimumPixels : {0.0, 64.0}) {
        for (const auto& decoded :
             {BoundedDecoding::png(bytes, minimumPixels), BoundedDecoding::jpeg(bytes, minimumPixels)}) {
            if (decoded.image.empty()) continue;
            const double pixelBytes = static_cast<double>(decoded.image.width()) * decoded.image.height() *
                                      (decoded.image.depth() == 8 ? 1 : 4);
            if (pixelBytes > static_cast<double>(BoundedDecoding::kMaxImageBytes)) std::abort();
            (void)decoded.image.toGrey();
        }
    }
    // The other formats go to Leptonica only when the header promises a small image.
    if (const auto header = Leptonica::readHeader(bytes);
        header && static_cast<double>(header->width) * header->height <= 1 << 20)
        (void)Leptonica::decode(bytes);
    return 0;
}
