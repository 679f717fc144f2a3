#include "TavoriKit/reading/HeifImage.h"

#include <libheif/heif.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace tavori::HeifImage {
namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct EncoderRelease {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct DecodingOptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct EncodingOptionsFree {
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};

using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using HeifPicture = std::unique_ptr<heif_image, ImageRelease>;

// The largest side any caller accepts; libheif refuses larger images before allocating them.
constexpr int kMaxSide = 30000;

struct Primary {
    Context context;
    Handle handle;
};

std::optional<Primary> openPrimary(std::span<const std::uint8_t> bytes) {
    if (!looksLikeHeif(bytes)) return std::nullopt;
    Context context(heif_context_alloc());
    if (!context) return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
    // Decode on the calling thread: the analyses already run one per worker.
    heif_context_set_max_decoding_threads(context.get(), 0);
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr).code !=
        heif_error_Ok)
        return std::nullopt;
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok || raw == nullptr)
        return std::nullopt;
    return Primary{std::move(context), Handle(raw)};
}

heif_error writeToVector(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(userdata);
    const auto* p = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), p, p + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

bool looksLikeHeif(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 12) return false;
    const int length = static_cast<int>(std::min<std::size_t>(bytes.size(), 64));
    const heif_filetype_result result = heif_check_filetype(bytes.data(), length);
    return result == heif_filetype_yes_supported;
}

std::optional<ImageHeader> readHeader(std::span<const std::uint8_t> bytes) {
    const auto primary = openPrimary(bytes);
    if (!primary) return std::nullopt;
    const int w = heif_image_handle_get_width(primary->handle.get());
    const int h = heif_image_handle_get_height(primary->handle.get());
    if (w < 1 || h < 1) return std::nullopt;
    return ImageHeader{w, h};
}

Image decode(std::span<const std::uint8_t> bytes, double maxPixels) {
    const auto primary = openPrimary(bytes);
    if (!primary) return {};
    const int w = heif_image_handle_get_width(primary->handle.get());
    const int h = heif_image_handle_get_height(primary->handle.get());
    if (w < 1 || h < 1 || static_cast<double>(w) * h > maxPixels) return {};
    std::unique_ptr<heif_decoding_options, DecodingOptionsFree> options(heif_decoding_options_alloc());
    heif_image* raw = nullptr;
    if (heif_decode_image(primary->handle.get(), &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          options.get())
                .code != heif_error_Ok ||
        raw == nullptr)
        return {};
    const HeifPicture picture(raw);
    const int pw = heif_image_get_width(picture.get(), heif_channel_interleaved);
    const int ph = heif_image_get_height(picture.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(picture.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr || pw < 1 || ph < 1 || stride < 3 * pw) return {};
    return Image::fromRgb(pw, ph, std::span(plane, static_cast<std::size_t>(stride) * ph), stride);
}

std::vector<std::uint8_t> encode(const Image& image, int orientation, int quality) {
    if (image.empty() || orientation < 1 || orientation > 8) return {};
    const int w = image.width(), h = image.height();
    const std::vector<std::uint8_t> rgb = image.rgbBytes();
    heif_image* raw = nullptr;
    if (heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw).code != heif_error_Ok)
        return {};
    const HeifPicture picture(raw);
    if (heif_image_add_plane(picture.get(), heif_channel_interleaved, w, h, 8).code != heif_error_Ok)
        return {};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr) return {};
    for (int y = 0; y < h; ++y)
        std::copy_n(rgb.data() + static_cast<std::size_t>(y) * w * 3, static_cast<std::size_t>(w) * 3,
                    plane + static_cast<std::size_t>(y) * stride);

    Context context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    if (!context ||
        heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder).code !=
            heif_error_Ok)
        return {};
    const std::unique_ptr<heif_encoder, EncoderRelease> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), quality);
    std::unique_ptr<heif_encoding_options, EncodingOptionsFree> options(heif_encoding_options_alloc());
    options->image_orientation = static_cast<heif_orientation>(orientation);
    heif_image_handle* written = nullptr;
    if (heif_context_encode_image(context.get(), picture.get(), encoder.get(), options.get(), &written)
            .code != heif_error_Ok)
        return {};
    heif_image_handle_release(written);
    std::vector<std::uint8_t> out;
    heif_writer writer{1, writeToVector};
    if (heif_context_write(context.get(), &writer, &out).code != heif_error_Ok) return {};
    return out;
}

}  // namespace tavori::HeifImage
