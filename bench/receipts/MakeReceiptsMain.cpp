// bench_make_receipts: writes seeded, varied Japanese till receipts with their fields, in the layout of the
// shared receipt set, for bench_accuracy --generated DIR:
//   bench_make_receipts --out DIR [--count 300] [--seed 1] [--photos 0.5] [--high-resolution 0]
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include <QFontDatabase>
#include <QGuiApplication>

#include "ReceiptGenerator.h"

namespace {

// An amount of the ground truth; empty for none.
std::string optional(std::int64_t value) {
    return value ? std::to_string(value) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes generated Japanese receipts with known fields"};
    std::filesystem::path out;
    int count = 300;
    unsigned seed = 1;
    double photos = 0.5;
    double highResolution = 0;
    double till = 0;
    app.add_option("--out", out, "folder to write into")->required();
    app.add_option("--count", count, "receipts")->check(CLI::Range(1, 100000));
    app.add_option("--seed", seed, "random seed");
    app.add_option("--photos", photos, "share drawn as phone photos")->check(CLI::Range(0.0, 1.0));
    app.add_option("--till", till,
                   "share printed as real tills print (dates with weekday, time and slip number, "
                   "small date print, dark paper)")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--high-resolution", highResolution, "share of the photos taken close up, with huge print")
        ->check(CLI::Range(0.0, 1.0));
    CLI11_PARSE(app, argc, argv);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication gui(argc, argv);
    std::vector<std::string> families;
    for (const char* family : {"Noto Sans CJK JP", "Noto Serif CJK JP", "Noto Sans Mono CJK JP", "IPAGothic",
                               "IPAMincho", "VL Gothic"})
        if (QFontDatabase::hasFamily(family)) families.emplace_back(family);
    if (families.empty()) {
        std::cerr << "bench_make_receipts: no Japanese font is installed (scripts/setup installs them)\n";
        return 1;
    }

    std::filesystem::create_directories(out / "images");
    std::ofstream truth(out / "ground_truth.csv", std::ios::binary);
    truth
        << "image,variant,vendor,vendor_branch,date,total_yen,registration_number,tax_included,rate10_amount,"
           "rate10_tax,rate8_amount,rate8_tax\n";
    tavori::bench::ReceiptGenerator generator(seed, families);
    std::mt19937 choose(seed ^ 0x9e3779b9u);
    for (int i = 1; i <= count; ++i) {
        const bool photo = std::uniform_real_distribution<double>(0, 1)(choose) < photos;
        // Drawn only when asked for, so that the same seed keeps giving the same set without it.
        const bool close = photo && highResolution > 0 &&
                           std::uniform_real_distribution<double>(0, 1)(choose) < highResolution;
        const bool tillStyle =
            till > 0 && std::uniform_real_distribution<double>(0, 1)(choose) < till;  // as `close`
        const auto receipt = generator.next(photo, close, tillStyle);
        char name[32];
        std::snprintf(name, sizeof name, "images/g%05d.%s", i, photo ? "jpg" : "png");
        const QImage image = generator.render(receipt);
        if (!image.save(QString::fromStdString((out / name).string()), photo ? "JPG" : "PNG",
                        photo ? 82 : -1)) {
            std::cerr << "bench_make_receipts: could not write " << (out / name) << "\n";
            return 1;
        }
        char date[16] = "";
        if (receipt.datePrinted)
            std::snprintf(date, sizeof date, "%04d-%02d-%02d", receipt.year, receipt.month, receipt.day);
        truth << name << ','
              << (close   ? "close-up"
                  : photo ? "photo"
                          : "clean")
              << (receipt.till ? " till" : "") << ',' << receipt.vendor << ',' << receipt.branch << ','
              << date << ',' << receipt.total << ',' << receipt.registrationNumber << ','
              << (receipt.taxIncluded ? 1 : 0) << ',' << optional(receipt.standardAmount) << ','
              << optional(receipt.standardAmount ? receipt.standardTax : 0) << ','
              << optional(receipt.reducedAmount) << ','
              << optional(receipt.reducedAmount ? receipt.reducedTax : 0) << '\n';
    }
    std::cout << count << " receipts in " << out << "\n";
    return 0;
}
