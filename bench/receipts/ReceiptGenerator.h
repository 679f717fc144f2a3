#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <QImage>

class QPainter;
class QRect;

// Varied Japanese till receipts with known fields, for measuring reading on documents nobody tuned the rules
// to.
namespace tavori::bench {

struct ReceiptLine {
    std::string label;
    std::string value;   // right-aligned; empty for a line of its own
    double scale = 1.0;  // height relative to the body text
    bool bold = false;
    bool centred = false;
    bool logo = false;  // drawn as a shape that holds no letters, as a shop's logo or seal
};

struct GeneratedReceipt {
    std::string vendor;  // the store name, as labelled
    std::string branch;
    int year = 0, month = 0, day = 0;
    bool datePrinted = true;
    std::int64_t total = 0;
    std::string registrationNumber;  // empty when none is printed
    std::string telephone;           // as printed, empty when none is
    int shop = 0;                    // the shop that printed it, from 1, when shops are used
    bool logoOnly = false;           // the shop's name is only a logo, not text
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
    // From now on, `receiptsPerShop` receipts in a row come from one shop, with its own address, telephone
    // number and (mostly) registration number; `logoShare` of the shops print their name only as a logo
    // with a line such as 「和菓子 本町店」 under it. Without it every receipt is a shop of its own.
    void useShops(int receiptsPerShop, double logoShare);
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
    void drawLogo(QPainter& painter, const QRect& row);

    struct Shop {
        std::string vendor, branch, address, telephone, telephoneLine, registrationNumber;
        bool logo = false;
    };
    Shop newShop();
    // Replaces the receipt's header by the current shop's, drawing a new shop when the last one is used up.
    void applyShop(GeneratedReceipt& r, std::size_t headerEnd);

    std::mt19937 random_;
    std::mt19937 taxRandom_;
    std::vector<std::string> families_;
    int receiptsPerShop_ = 0;
    double logoShare_ = 0;
    int shopsMade_ = 0;
    int shopLeft_ = 0;
    Shop shop_;
};

// "1,234" for 1234.
std::string groupedYen(std::int64_t value);

}  // namespace tavori::bench
