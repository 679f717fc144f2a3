#include "samples/CraftedFiles.h"

#include <zlib.h>

namespace tavori::CraftedFiles {
namespace {

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> chunk(type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    out.insert(out.end(), chunk.begin(), chunk.end());
    putBigEndian(out, static_cast<std::uint32_t>(::crc32(0, chunk.data(), static_cast<uInt>(chunk.size()))));
}

// The PNG signature and an 8-bit IHDR chunk.
std::vector<std::uint8_t> signatureAndHeader(std::uint32_t width, std::uint32_t height,
                                             std::uint8_t colourType, bool interlaced) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header.insert(header.end(), {8, colourType, 0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});
    putChunk(out, "IHDR", header);
    return out;
}

}  // namespace

std::vector<std::uint8_t> zeroPng(std::uint32_t width, std::uint32_t height, std::uint8_t colourType,
                                  bool interlaced) {
    const int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : colourType == 4 ? 2 : 1;
    std::vector<std::uint8_t> out = signatureAndHeader(width, height, colourType, interlaced);

    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    // Each row is a filter byte and its samples; interlaced passes add a few more filter bytes, which as
    // zeros decode the same.
    const std::vector<std::uint8_t> row(1 + static_cast<std::size_t>(width) * channels, 0);
    std::vector<std::uint8_t> buffer(1 << 16);
    std::vector<std::uint8_t> idat;
    const auto drain = [&](int flush) {
        do {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            deflate(&z, flush);
            idat.insert(idat.end(), buffer.begin(), buffer.end() - z.avail_out);
        } while (z.avail_out == 0);
    };
    const std::uint32_t rows = interlaced ? height + height : height;
    for (std::uint32_t y = 0; y < rows; ++y) {
        z.next_in = const_cast<Bytef*>(row.data());
        z.avail_in = static_cast<uInt>(row.size());
        drain(Z_NO_FLUSH);
    }
    drain(Z_FINISH);
    deflateEnd(&z);
    putChunk(out, "IDAT", idat);
    putChunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t width, std::uint32_t height, std::uint8_t colourType,
                                        bool interlaced) {
    std::vector<std::uint8_t> out = signatureAndHeader(width, height, colourType, interlaced);
    putChunk(out, "IEND", {});
    return out;
}

}  // namespace tavori::CraftedFiles
