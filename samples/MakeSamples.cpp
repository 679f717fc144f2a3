#include <filesystem>
#include <iostream>
#include <string_view>

#include "samples/SamplePdf.h"

namespace {

// The receipt that scripts/make-samples photographs: it reaches the window only as a JPEG, so it is read by
// OCR.
tavori::SamplePdf::Document photographedReceipt() {
    return {"receipt_photo.pdf",
            {{"ベーカリー こむぎ舎", 36, 44, 17},
             {"登録番号 T9876543210987", 36, 68, 10},
             {"領収書", 36, 100, 15},
             {"2024年6月12日 08:15", 36, 126, 12},
             {"クロワッサン", 36, 160, 12},
             {"¥280", 214, 160, 12},
             {"食パン 1斤", 36, 182, 12},
             {"¥420", 214, 182, 12},
             {"カフェラテ", 36, 204, 12},
             {"¥480", 214, 204, 12},
             {"合計", 36, 240, 15},
             {"¥1,180", 196, 240, 15},
             {"(内消費税 8% ¥87)", 36, 262, 10},
             {"お預り", 36, 288, 12},
             {"¥2,000", 202, 288, 12},
             {"お釣り", 36, 310, 12},
             {"¥820", 214, 310, 12},
             {"ありがとうございました", 36, 350, 11}}};
}

}  // namespace

// Writes the sample documents into the folder given as the only argument; with --photo-page FILE, only the
// page of the receipt that is to be photographed.
int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--photo-page") {
        try {
            tavori::SamplePdf::write(argv[2], photographedReceipt());
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::cerr << "usage: tavori-make-samples FOLDER | --photo-page FILE\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        std::filesystem::create_directories(folder);
        for (const auto& document : tavori::SamplePdf::samples()) {
            tavori::SamplePdf::write(folder / document.fileName, document);
            std::cout << (folder / document.fileName).native() << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
