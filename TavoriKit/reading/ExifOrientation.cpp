#include "TavoriKit/reading/ExifOrientation.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <limits>
#include <memory>

namespace tavori::ExifOrientation {
namespace {

struct ExifDataUnref {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};
struct ExifEntryUnref {
    void operator()(ExifEntry* e) const { exif_entry_unref(e); }
};
struct CFree {
    void operator()(unsigned char* p) const { std::free(p); }
};

bool isJpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

}  // namespace

int read(std::span<const std::uint8_t> jpeg) {
    if (!isJpeg(jpeg) || jpeg.size() > std::numeric_limits<unsigned int>::max()) return 1;
    const std::unique_ptr<ExifData, ExifDataUnref> data(
        exif_data_new_from_data(jpeg.data(), static_cast<unsigned int>(jpeg.size())));
    if (!data) return 1;
    ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 ||
        entry->data == nullptr || entry->size < 2)
        return 1;
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    return value >= 1 && value <= 8 ? value : 1;
}

std::vector<std::uint8_t> withOrientation(std::span<const std::uint8_t> jpeg, int orientation) {
    if (!isJpeg(jpeg) || orientation < 1 || orientation > 8) return {};
    const std::unique_ptr<ExifData, ExifDataUnref> data(exif_data_new());
    if (!data) return {};
    exif_data_set_byte_order(data.get(), EXIF_BYTE_ORDER_INTEL);
    const std::unique_ptr<ExifEntry, ExifEntryUnref> entry(exif_entry_new());
    if (!entry) return {};
    exif_content_add_entry(data->ifd[EXIF_IFD_0], entry.get());
    exif_entry_initialize(entry.get(), EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, EXIF_BYTE_ORDER_INTEL, static_cast<ExifShort>(orientation));

    unsigned char* raw = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data.get(), &raw, &size);
    const std::unique_ptr<unsigned char, CFree> block(raw);
    if (raw == nullptr || size == 0 || size + 2 > 0xFFFF) return {};

    std::vector<std::uint8_t> out;
    out.reserve(jpeg.size() + size + 4);
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + 2);
    out.push_back(0xFF);
    out.push_back(0xE1);
    out.push_back(static_cast<std::uint8_t>((size + 2) >> 8));
    out.push_back(static_cast<std::uint8_t>((size + 2) & 0xFF));
    out.insert(out.end(), raw, raw + size);
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

}  // namespace tavori::ExifOrientation
