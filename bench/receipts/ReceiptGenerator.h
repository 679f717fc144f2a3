#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <QImage>

// Varied Japanese till receipts with known fields, for measuring reading on documents nobody tuned the rules
// to.
namespace tavori::bench {

struct ReceiptLine {
    std::string label;
    std::string value;   // right-aligned; empty for a line of its own
    double scale = 1.0;  // height relative to the body text
    bool bold = false;
    bool centred = false;
};

struct GeneratedReceipt {
    std::string vendor;  // the store name, as labelled
    std::string branch;
    int year = 0, month = 0, day = 0;
    bool datePrinted = true;
    std::int64_t total = 0;
    std::string registrationNumber;  // empty when none is printed
    // The amounts by tax rate as printed (0 when that rate is not printed) and whether they hold their tax.
    std::int64_t standardAmount = 0, standardTax = 0, reducedAmount = 0, reducedTax = 0;
    bool taxIncluded = true;
    std::vector<ReceiptLine> lines;
    // How it is drawn.
    std::string bodyFamily;
    std::string titleFamily;
    int bodyPixels = 26;
    bool photo = false;  // rotated, unevenly lit, noisy and saved as JPEG
    // Printed as real tills print: a weekday, a time and a slip number beside a smaller date, often on
    // dark (faded thermal, tinted) paper.
    bool till = false;
    int paperGrey = 255;  // the paper's grey when it is not white
};

class ReceiptGenerator {
  public:
    // `families`: installed font families to draw with (at least one).
    ReceiptGenerator(std::uint32_t seed, std::vector<std::string> families);

    GeneratedReceipt next(bool photo, bool highResolution = false, bool till = false);
    // The receipt drawn on paper, degraded like a phone photo when `receipt.photo` is set.
    QImage render(const GeneratedReceipt& receipt);

  private:
    int uniform(int low, int high);
    double uniformReal(double low, double high);
    bool chance(double p);
    // Drawn from their own stream, so that a seed gives the same receipts as before apart from the rates.
    bool taxChance(double p);
    template <class T>
    const T& pick(const std::vector<T>& options) {
        return options[static_cast<std::size_t>(uniform(0, static_cast<int>(options.size()) - 1))];
    }

    void degrade(QImage& image);

    std::mt19937 random_;
    std::mt19937 taxRandom_;
    std::vector<std::string> families_;
};

// "1,234" for 1234.
std::string groupedYen(std::int64_t value);

}  // namespace tavori::bench
