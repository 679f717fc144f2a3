#include "TavoriKit/reading/BoundedDecoding.h"

#include <jpeglib.h>
#include <leptonica/allheaders.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tavori::BoundedDecoding {
namespace {

// The sides the image loader accepts at all; libpng refuses larger headers before allocating anything.
constexpr int kMaxSide = 30000;
// Text and profile chunks are not needed; a compressed one may expand to far more than its size.
constexpr std::size_t kMaxChunkBytes = 8u << 20;

// The largest whole factor that keeps at least `minimumPixels` (when asked for), then the smallest one above
// it that brings the result within kMaxImageBytes; never more than the shorter side.
int shrinkFactor(int width, int height, double minimumPixels, int bytesPerPixel) {
    const auto pixels = [&](int k) {
        return static_cast<double>(width / k) * static_cast<double>(height / k);
    };
    const int most = std::max(1, std::min(width, height));
    int k = 1;
    if (minimumPixels > 0)
        while (k < most && pixels(k + 1) >= minimumPixels) ++k;
    while (k < most && pixels(k) * bytesPerPixel > static_cast<double>(kMaxImageBytes)) ++k;
    return k;
}

// Averages blocks of k × k pixels of rows handed in one at a time into an 8-bit grey or 32-bit colour image;
// rows and columns past the last whole block are dropped.
class Shrinker {
  public:
    Shrinker(int width, int height, int factor, int channels)
        : width_(width),
          factor_(factor),
          channels_(channels),
          outWidth_(std::max(1, width / factor)),
          outHeight_(std::max(1, height / factor)),
          sums_(static_cast<std::size_t>(outWidth_) * channels, 0) {}

    bool fits() const {
        return static_cast<double>(outWidth_) * outHeight_ * (channels_ == 1 ? 1 : 4) <=
               static_cast<double>(kMaxImageBytes);
    }
    bool allocate() {
        image_ = Image(pixCreate(outWidth_, outHeight_, channels_ == 1 ? 8 : 32));
        return !image_.empty();
    }
    bool done() const { return outRow_ >= outHeight_; }

    // `row`: `channels` bytes per pixel, no alpha.
    void add(const std::uint8_t* row) {
        if (done()) return;
        const std::uint8_t* in = row;
        for (int out = 0; out < outWidth_ && (out + 1) * factor_ <= width_; ++out) {
            std::uint32_t* sum = &sums_[static_cast<std::size_t>(out) * channels_];
            for (int i = 0; i < factor_; ++i, in += channels_)
                for (int c = 0; c < channels_; ++c) sum[c] += in[c];
        }
        if (++rowsInBlock_ < factor_) return;
        const std::uint32_t area = static_cast<std::uint32_t>(factor_) * static_cast<std::uint32_t>(factor_);
        l_uint32* line =
            pixGetData(image_.pix()) + static_cast<std::ptrdiff_t>(outRow_) * pixGetWpl(image_.pix());
        for (int x = 0; x < outWidth_; ++x) {
            const std::uint32_t* sum = &sums_[static_cast<std::size_t>(x) * channels_];
            if (channels_ == 1) {
                SET_DATA_BYTE(line, x, (sum[0] + area / 2) / area);
            } else {
                l_uint32 value = 0;
                composeRGBPixel(static_cast<l_int32>((sum[0] + area / 2) / area),
                                static_cast<l_int32>((sum[1] + area / 2) / area),
                                static_cast<l_int32>((sum[2] + area / 2) / area), &value);
                line[x] = value;
            }
        }
        std::fill(sums_.begin(), sums_.end(), 0);
        rowsInBlock_ = 0;
        ++outRow_;
    }

    Image take() { return std::move(image_); }

  private:
    int width_;
    int factor_;
    int channels_;
    int outWidth_;
    int outHeight_;
    std::vector<std::uint32_t> sums_;  // k × k × 255 stays far below 2^32 for any k the loader allows
    int rowsInBlock_ = 0;
    int outRow_ = 0;
    Image image_;
};

// Lays pixels with alpha on white: `channels` is 2 (grey, alpha) or 4 (RGB, alpha).
void composeOnWhite(const std::uint8_t* in, std::uint8_t* out, int width, int channels) {
    const int colours = channels - 1;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t alpha = in[x * channels + colours];
        for (int c = 0; c < colours; ++c)
            out[x * colours + c] =
                static_cast<std::uint8_t>((in[x * channels + c] * alpha + 255 * (255 - alpha) + 127) / 255);
    }
}

// ---- PNG ----

struct PngSource {
    std::span<const std::uint8_t> bytes;
    std::size_t offset = 0;
};

void pngRead(png_structp png, png_bytep out, std::size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->bytes.size() - source->offset < count) png_error(png, "truncated");
    std::memcpy(out, source->bytes.data() + source->offset, count);
    source->offset += count;
}

[[noreturn]] void pngFail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void pngIgnore(png_structp, png_const_charp) {}

// Everything the decoding touches lives here, outside the frame that libpng may jump back to.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngSource source;
    double minimumPixels = 0;
    int width = 0;
    int height = 0;
    int channels = 0;  // after the transforms: 1 to 4
    bool interlaced = false;
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> composed;
    std::vector<std::uint8_t> whole;  // interlaced images only
    std::vector<Shrinker> shrinker;   // zero or one
    int resolution = 0;
    bool tooLarge = false;

    // False when the image cannot be held within the bounds.
    bool prepare() {
        const int colours = channels >= 3 ? 3 : 1;
        const int factor = shrinkFactor(width, height, minimumPixels, colours == 1 ? 1 : 4);
        shrinker.emplace_back(width, height, factor, colours);
        const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
        // An interlaced image arrives in seven passes over the whole picture, so all of it is held once.
        if (interlaced && static_cast<double>(rowBytes) * height > static_cast<double>(kMaxWorkingBytes))
            return false;
        if (!shrinker.back().fits() || !shrinker.back().allocate()) return false;
        row.resize(rowBytes);
        composed.resize(static_cast<std::size_t>(width) * colours);
        if (interlaced) whole.resize(rowBytes * static_cast<std::size_t>(height));
        return true;
    }

    void consume(const std::uint8_t* data) {
        if (channels == 2 || channels == 4) {
            composeOnWhite(data, composed.data(), width, channels);
            data = composed.data();
        }
        shrinker.back().add(data);
    }
};

bool runPng(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_set_read_fn(job.png, &job.source, pngRead);
    png_set_user_limits(job.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(job.png, kMaxChunkBytes);
    png_read_info(job.png, job.info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(job.png, job.info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(job.png);
    if (png_get_valid(job.png, job.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(job.png);
    if (bitDepth == 16) png_set_strip_16(job.png);
    const int passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);

    job.width = static_cast<int>(width);
    job.height = static_cast<int>(height);
    job.channels = png_get_channels(job.png, job.info);
    job.interlaced = passes > 1;
    if (job.channels < 1 || job.channels > 4 || png_get_rowbytes(job.png, job.info) != width * job.channels)
        return false;
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(job.png, job.info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER)
        job.resolution = static_cast<int>(std::lround(resX * 0.0254));
    if (!job.prepare()) {
        job.tooLarge = true;
        return true;
    }

    if (job.interlaced) {
        const std::size_t rowBytes = job.row.size();
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(job.png, job.whole.data() + rowBytes * y, nullptr);
        for (png_uint_32 y = 0; y < height && !job.shrinker.back().done(); ++y)
            job.consume(job.whole.data() + rowBytes * y);
    } else {
        for (png_uint_32 y = 0; y < height && !job.shrinker.back().done(); ++y) {
            png_read_row(job.png, job.row.data(), nullptr);
            job.consume(job.row.data());
        }
    }
    return true;
}

// ---- JPEG ----

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    int warnings = 0;
};

[[noreturn]] void jpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void jpegMessage(j_common_ptr info, int level) {
    if (level < 0) ++reinterpret_cast<JpegErrors*>(info->err)->warnings;
}

void jpegOutput(j_common_ptr) {}

struct JpegJob {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    double minimumPixels = 0;
    bool leftToLeptonica = false;
    bool tooLarge = false;
    int reduction = 1;
    Image image;
    std::vector<std::uint8_t> row;

    // Working memory libjpeg needs before the first row comes out: a progressive file keeps the
    // coefficients of every component (2 bytes each) of the whole image.
    double workingBytes() const {
        if (!info.progressive_mode) return 0;
        double samples = 0;
        const int maxH = std::max(1, info.max_h_samp_factor), maxV = std::max(1, info.max_v_samp_factor);
        for (int c = 0; c < info.num_components; ++c)
            samples += static_cast<double>(info.comp_info[c].h_samp_factor) *
                       info.comp_info[c].v_samp_factor / (maxH * maxV);
        return static_cast<double>(info.image_width) * info.image_height * samples * 2;
    }

    bool allocate() {
        image = Image(pixCreate(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                                info.output_components == 1 ? 8 : 32));
        row.resize(static_cast<std::size_t>(info.output_width) * info.output_components);
        return !image.empty();
    }

    void store(JDIMENSION y) {
        l_uint32* line = pixGetData(image.pix()) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(image.pix());
        if (info.output_components == 1) {
            for (JDIMENSION x = 0; x < info.output_width; ++x) SET_DATA_BYTE(line, x, row[x]);
            return;
        }
        for (JDIMENSION x = 0; x < info.output_width; ++x) {
            l_uint32 value = 0;
            composeRGBPixel(row[3 * x], row[3 * x + 1], row[3 * x + 2], &value);
            line[x] = value;
        }
    }
};

bool runJpeg(JpegJob& job, std::span<const std::uint8_t> bytes) {
    if (setjmp(job.errors.jump)) return false;
    jpeg_create_decompress(&job.info);
    job.info.mem->max_memory_to_use = static_cast<long>(kMaxWorkingBytes);
    jpeg_mem_src(&job.info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&job.info, TRUE) != JPEG_HEADER_OK) return false;
    if (job.info.jpeg_color_space == JCS_CMYK || job.info.jpeg_color_space == JCS_YCCK) {
        job.leftToLeptonica = true;
        return true;
    }
    if (job.info.image_width > static_cast<JDIMENSION>(kMaxSide) ||
        job.info.image_height > static_cast<JDIMENSION>(kMaxSide) ||
        job.workingBytes() > static_cast<double>(kMaxWorkingBytes)) {
        job.tooLarge = true;
        return true;
    }
    const bool grey = job.info.num_components == 1;
    job.info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    const double w = job.info.image_width, h = job.info.image_height;
    const auto pixels = [&](int r) { return std::floor(w / r) * std::floor(h / r); };
    int reduction = 1;
    while (job.minimumPixels > 0 && reduction < 8 && pixels(2 * reduction) >= job.minimumPixels)
        reduction *= 2;
    while (reduction < 8 && pixels(reduction) * (grey ? 1 : 4) > static_cast<double>(kMaxImageBytes))
        reduction *= 2;
    if (pixels(reduction) * (grey ? 1 : 4) > static_cast<double>(kMaxImageBytes)) {
        job.tooLarge = true;
        return true;
    }
    job.reduction = reduction;
    job.info.scale_num = 1;
    job.info.scale_denom = static_cast<unsigned>(reduction);
    jpeg_start_decompress(&job.info);
    if (!job.allocate()) {
        job.tooLarge = true;
        return true;
    }
    while (job.info.output_scanline < job.info.output_height) {
        JSAMPROW line = job.row.data();
        const JDIMENSION y = job.info.output_scanline;
        if (jpeg_read_scanlines(&job.info, &line, 1) != 1) return false;
        job.store(y);
    }
    jpeg_finish_decompress(&job.info);
    return true;
}

int jpegResolution(const jpeg_decompress_struct& info) {
    if (info.density_unit == 1) return info.X_density;
    if (info.density_unit == 2) return static_cast<int>(std::lround(info.X_density * 2.54));
    return 0;
}

}  // namespace

std::optional<ImageHeader> readHeader(std::span<const std::uint8_t> b) {
    const auto big16 = [&](std::size_t at) { return (b[at] << 8) | b[at + 1]; };
    const auto big32 = [&](std::size_t at) {
        return (static_cast<std::uint32_t>(big16(at)) << 16) | static_cast<std::uint32_t>(big16(at + 2));
    };
    if (isPng(b)) {
        // The first chunk is IHDR: length, type, width, height.
        if (b.size() < 24 || std::memcmp(b.data() + 12, "IHDR", 4) != 0) return std::nullopt;
        const std::uint32_t width = big32(16), height = big32(20);
        if (width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
        return ImageHeader{static_cast<int>(width), static_cast<int>(height)};
    }
    if (!isJpeg(b)) return std::nullopt;
    // Walks the marker segments up to the frame header (SOF0 to SOF15 less DHT, JPG and DAC).
    std::size_t i = 2;
    while (i + 9 < b.size()) {
        if (b[i] != 0xFF) return std::nullopt;
        const std::uint8_t marker = b[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            const int height = big16(i + 5), width = big16(i + 7);
            if (width < 1 || height < 1) return std::nullopt;
            return ImageHeader{width, height};
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end, or data before any frame
        i += 2 + static_cast<std::size_t>(big16(i + 2));
    }
    return std::nullopt;
}

bool isPng(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0;
}

bool isJpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

Decoded png(std::span<const std::uint8_t> bytes, double minimumPixels) {
    using Status = Decoded::Status;
    if (!isPng(bytes)) return {};
    // An interlaced image is held whole while its passes arrive; refused by its header before libpng reads
    // on.
    if (const auto header = readHeader(bytes); header && bytes.size() > 28 && bytes[28] == 1) {
        const int channels = bytes[25] == 0 ? 1 : bytes[25] == 4 ? 2 : bytes[25] == 2 ? 3 : 4;
        if (static_cast<double>(header->width) * header->height * channels >
            static_cast<double>(kMaxWorkingBytes))
            return {Image(), Status::tooLarge};
    }
    PngJob job;
    job.source.bytes = bytes;
    job.minimumPixels = minimumPixels;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngIgnore);
    if (job.png == nullptr) return {Image(), Status::tooLarge};
    job.info = png_create_info_struct(job.png);
    const bool ok = job.info != nullptr && runPng(job);
    png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
    if (job.tooLarge) return {Image(), Status::tooLarge};
    if (!ok || job.shrinker.empty()) return {Image(), Status::damaged};
    Image image = job.shrinker.back().take();
    if (image.empty()) return {Image(), Status::damaged};
    const int factor = std::max(1, job.width / image.width());
    if (job.resolution > 0) image.setResolution(job.resolution / factor);
    return {std::move(image), Status::decoded};
}

Decoded jpeg(std::span<const std::uint8_t> bytes, double minimumPixels) {
    if (!isJpeg(bytes)) return {};
    JpegJob job;
    job.minimumPixels = minimumPixels;
    job.info.err = jpeg_std_error(&job.errors.manager);
    job.errors.manager.error_exit = jpegFail;
    job.errors.manager.emit_message = jpegMessage;
    job.errors.manager.output_message = jpegOutput;
    const bool ok = runJpeg(job, bytes);
    const int resolution = ok ? jpegResolution(job.info) : 0;
    jpeg_destroy_decompress(&job.info);
    if (job.leftToLeptonica) return {};
    if (job.tooLarge) return {Image(), Decoded::Status::tooLarge};
    if (!ok || job.image.empty()) return {Image(), Decoded::Status::damaged};
    // A complete JPEG with a damaged stretch inside (viewers show it with a smear) is read as far as it
    // decodes; a file cut short, without its end marker, stays unreadable.
    const bool complete = bytes[bytes.size() - 2] == 0xFF && bytes[bytes.size() - 1] == 0xD9;
    if (job.errors.warnings > 0 && !complete) return {Image(), Decoded::Status::damaged};
    if (resolution > 0) job.image.setResolution(resolution / job.reduction);
    return {std::move(job.image), Decoded::Status::decoded};
}

}  // namespace tavori::BoundedDecoding
