#include "ReceiptGenerator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QTransform>

namespace tavori::bench {

namespace {

const std::vector<std::string> kNameStems = {
    "みなと",     "ひまわり", "青葉", "さくら", "大黒",     "たから",   "ことぶき", "マルエイ", "エンゼル",
    "ルミエール", "やまびこ", "若竹", "北斗",   "あおぞら", "オリーブ", "はなまる", "富士見",   "ミモザ"};
const std::vector<std::string> kNameKinds = {"ストア",     "商店",   "書店", "薬局",     "食堂",   "珈琲店",
                                             "ベーカリー", "マート", "酒店", "ドラッグ", "精肉店", "文具店"};
const std::vector<std::string> kPlaces = {"渋谷道玄坂", "梅田",     "札幌駅前",   "博多",
                                          "仙台一番町", "横浜西口", "金沢香林坊", "那覇久茂地",
                                          "名古屋栄",   "京都四条", "神戸元町",   "広島紙屋町"};
const std::vector<std::string> kPrefectures = {"東京都渋谷区",       "大阪府大阪市北区",
                                               "北海道札幌市中央区", "福岡県福岡市博多区",
                                               "宮城県仙台市青葉区", "神奈川県横浜市西区"};
const std::vector<std::string> kItems = {"おにぎり鮭",    "緑茶 500ml",   "食パン6枚切",  "牛乳 1L",
                                         "卵 10個入",     "ボールペン黒", "ノート B5",    "洗剤詰替",
                                         "ティッシュ5箱", "コーヒー豆",   "サンドイッチ", "からあげ弁当",
                                         "文庫本",        "単三電池4本",  "ハンドソープ", "みかん 1袋",
                                         "豚こま切落し",  "ビール 350ml", "カフェラテ",   "ドーナツ"};
const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};

std::string format(const char* pattern, auto... values) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

std::string yen(std::int64_t value) {
    return "¥" + groupedYen(value);
}

// The check digit that makes 12 digits a valid corporate number (T + 13 digits).
std::string withCheckDigit(const std::string& twelve) {
    int sum = 0;
    for (int n = 1; n <= 12; ++n) sum += (twelve[12 - n] - '0') * (n % 2 ? 1 : 2);
    return std::to_string(9 - sum % 9) + twelve;
}

}  // namespace

std::string groupedYen(std::int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), ",");
    return value < 0 ? "-" + digits : digits;
}

ReceiptGenerator::ReceiptGenerator(std::uint32_t seed, std::vector<std::string> families)
    : random_(seed), taxRandom_(seed ^ 0x5bd1e995u), families_(std::move(families)) {}

int ReceiptGenerator::uniform(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
}
double ReceiptGenerator::uniformReal(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
}
bool ReceiptGenerator::chance(double p) {
    return uniformReal(0, 1) < p;
}
bool ReceiptGenerator::taxChance(double p) {
    return std::uniform_real_distribution<double>(0, 1)(taxRandom_) < p;
}

GeneratedReceipt ReceiptGenerator::next(bool photo, bool highResolution, bool till) {
    GeneratedReceipt r;
    r.photo = photo;
    r.bodyFamily = pick(families_);
    r.titleFamily = chance(0.5) ? r.bodyFamily : pick(families_);
    // A phone photo of a receipt held close, or a 600 dpi scan of a narrow slip: print of 90 to 140 pixels.
    r.bodyPixels = highResolution ? uniform(90, 140) : photo ? uniform(26, 64) : uniform(20, 34);
    const std::string kind = pick(kNameKinds);
    r.vendor = chance(0.5) ? pick(kNameStems) + kind : kind + pick(kNameStems);
    const std::string place = pick(kPlaces);
    r.branch = chance(0.7) ? place + "店" : "";
    r.year = uniform(2019, 2025);
    r.month = uniform(1, 12);
    r.day = uniform(1, 28);
    r.datePrinted = !chance(0.04);
    if (chance(0.6)) {
        std::string twelve;
        for (int i = 0; i < 12; ++i) twelve += static_cast<char>('0' + uniform(0, 9));
        r.registrationNumber = "T" + withCheckDigit(twelve);
    }

    auto add = [&r](std::string label, std::string value = {}, double scale = 1.0, bool bold = false,
                    bool centred = false) {
        r.lines.push_back({std::move(label), std::move(value), scale, bold, centred});
    };

    // Header: the store name in large, often decorative print, the branch underneath.
    add(r.vendor, {}, uniformReal(1.5, 2.8), chance(0.6), true);
    if (!r.branch.empty()) add(r.branch, {}, uniformReal(1.0, 1.3), false, true);
    add(pick(kPrefectures) + format("%d-%d-%d", uniform(1, 9), uniform(1, 30), uniform(1, 20)), {}, 0.9,
        false, true);
    add(format("TEL %02d-%04d-%04d", uniform(3, 99), uniform(1000, 9999), uniform(1000, 9999)), {}, 0.9,
        false, true);
    if (!r.registrationNumber.empty()) add("登録番号 " + r.registrationNumber, {}, 0.9, false, true);
    add("");

    const auto ymd = std::chrono::year_month_day{std::chrono::year{r.year}, std::chrono::month(r.month),
                                                 std::chrono::day(r.day)};
    const char* weekday = kWeekdays[std::chrono::weekday{std::chrono::sys_days{ymd}}.c_encoding()];
    const int hour = uniform(8, 21), minute = uniform(0, 59);
    std::string dateLine;
    switch (uniform(0, 3)) {
        case 0:
            dateLine =
                format("%d年%02d月%02d日(%s) %02d:%02d", r.year, r.month, r.day, weekday, hour, minute);
            break;
        case 1:
            dateLine = format("%d/%02d/%02d(%s) %02d:%02d", r.year, r.month, r.day, weekday, hour, minute);
            break;
        case 2:
            dateLine = format("%d年%d月%d日 %d時%02d分", r.year, r.month, r.day, hour, minute);
            break;
        default:
            dateLine = format("%d-%02d-%02d %02d:%02d", r.year, r.month, r.day, hour, minute);
            break;
    }
    // Till forms, drawn only for till receipts so that other sets keep their random sequence.
    double dateScale = 1.0;
    if (till) {
        r.till = true;
        switch (uniform(0, 2)) {
            case 0:
                dateLine =
                    format("%d年%02d月%02d日(%s) %02d:%02d", r.year, r.month, r.day, weekday, hour, minute);
                break;
            case 1:
                dateLine = format("%d/%d/%d %02d:%02d No.%04d", r.year, r.month, r.day, hour, minute,
                                  uniform(1, 9999));
                break;
            default:
                dateLine = format("%02d-%02d-%02d", r.year % 100, r.month, r.day);
                break;
        }
        dateScale = uniformReal(0.7, 0.9);
        if (chance(0.5)) r.paperGrey = uniform(120, 175);
    }
    const bool dateAtBottom = chance(0.2);
    const auto addDate = [&] { add(dateLine, {}, dateScale); };
    if (r.datePrinted && !dateAtBottom) addDate();
    add(format("レジ%04d 責No.%03d", uniform(1, 12), uniform(1, 999)), {}, 0.9);

    // Items, sometimes with a quantity line, then the totals block.
    std::int64_t sum = 0;
    int count = 0;
    // A share of receipts sells food at the reduced rate beside other goods, marks those items and prints
    // the amounts by rate.
    bool mixedRates = taxChance(0.35);
    std::int64_t reducedSum = 0;
    const bool markAsterisk = taxChance(0.5);
    const int itemCount = uniform(1, 8);
    for (int i = 0; i < itemCount; ++i) {
        const int quantity = chance(0.2) ? uniform(2, 4) : 1;
        const std::int64_t unit =
            chance(0.08) ? uniform(50, 600) * 100 : uniform(8, 300) * 10 + (chance(0.5) ? 8 : 0);
        if (quantity > 1) add(format("  %d個 X 単%s", quantity, groupedYen(unit).c_str()), {}, 0.9);
        const bool reduced = mixedRates && (i == 0 || taxChance(0.4));
        add(pick(kItems) + (reduced ? (markAsterisk ? " ※" : " 軽") : ""), yen(unit * quantity));
        sum += unit * quantity;
        if (reduced) reducedSum += unit * quantity;
        count += quantity;
    }
    if (mixedRates && reducedSum == sum) mixedRates = false;
    const bool spaced = chance(0.5);
    add(spaced ? "小　計" : "小計", yen(sum));
    if (chance(0.3)) {
        const std::int64_t coupon = uniform(1, 10) * 10;
        // A coupon on a receipt with two rates would have to be split between them; those receipts have none.
        if (!mixedRates) {
            add("クーポン値引", yen(-coupon));
            sum -= coupon;
        }
    }
    const bool taxIncluded = chance(0.6);
    r.taxIncluded = taxIncluded;
    std::int64_t tax = sum * 10 / 110;
    if (mixedRates) {
        const std::int64_t standardSum = sum - reducedSum;
        r.standardAmount = standardSum;
        r.reducedAmount = reducedSum;
        r.standardTax = taxIncluded ? standardSum * 10 / 110 : standardSum / 10;
        r.reducedTax = taxIncluded ? reducedSum * 8 / 108 : reducedSum * 8 / 100;
        tax = r.standardTax + r.reducedTax;
        r.total = taxIncluded ? sum : sum + tax;
    } else if (!taxIncluded) {
        tax = sum / 10;
        add("消費税等(10%)", yen(tax));
        r.total = sum + tax;
        r.standardAmount = sum;
        r.standardTax = tax;
    } else {
        r.total = sum;
    }
    // The amounts by rate, in one of the layouts tills print, under the subtotal.
    if (mixedRates) {
        const char* inner = taxIncluded ? "内消費税" : "消費税";
        switch (static_cast<int>(taxRandom_() % 3)) {
            case 0:
                add(format("10%%対象 %s %s %s", yen(r.standardAmount).c_str(), inner,
                           yen(r.standardTax).c_str()));
                add(format("8%%対象 %s %s %s", yen(r.reducedAmount).c_str(), inner,
                           yen(r.reducedTax).c_str()));
                break;
            case 1:
                add("(10%対象", yen(r.standardAmount), 0.9);
                add(format("(%s", inner), yen(r.standardTax) + ")", 0.9);
                add("(8%対象", yen(r.reducedAmount), 0.9);
                add(format("(%s", inner), yen(r.reducedTax) + ")", 0.9);
                break;
            default:
                add("標準税率対象", yen(r.standardAmount));
                add(format("%s等(10%%)", inner), yen(r.standardTax));
                add("軽減税率対象", yen(r.reducedAmount));
                add(format("%s等(8%%)", inner), yen(r.reducedTax));
                break;
        }
    }
    const bool bigTotal = chance(0.65);
    const std::string totalLabel = chance(0.4) ? "合　計" : (chance(0.5) ? "合 計" : "合計");
    add(totalLabel, yen(r.total), bigTotal ? uniformReal(1.6, 2.6) : 1.0, bigTotal || chance(0.3));
    if (taxIncluded) add(format("(内消費税等 %s)", yen(tax).c_str()), {}, 0.9);
    if (mixedRates) add(markAsterisk ? "※は軽減税率対象商品" : "軽は軽減税率対象商品", {}, 0.9);
    if (chance(0.7)) {
        switch (uniform(0, 2)) {
            case 0:
                add(format("合計点数 %d点", count));
                break;
            case 1:
                add("お買上点数", format("%d点", count));
                break;
            default:
                add(format("点数 %d", count));
                break;
        }
    }
    switch (uniform(0, 2)) {
        case 0: {
            const std::int64_t tendered = (r.total / 1000 + 1) * 1000 + (chance(0.3) ? 5000 : 0);
            add("お預り", yen(tendered));
            add("お釣り", yen(tendered - r.total));
            break;
        }
        case 1:
            add("クレジット", yen(r.total));
            break;
        default:
            add("電子マネー", yen(r.total));
            add("残高", yen(uniform(1, 9000)));
            break;
    }
    if (chance(0.5)) {
        add("今回ポイント", format("%dP", static_cast<int>(r.total / 100)));
        add("ポイント残高", groupedYen(uniform(100, 20000)) + "P");
    }
    if (r.datePrinted && dateAtBottom) addDate();
    add("");
    add(chance(0.5) ? "またのご来店をお待ちしております" : "ありがとうございました", {}, 0.9, false, true);
    return r;
}

QImage ReceiptGenerator::render(const GeneratedReceipt& receipt) {
    const int body = receipt.bodyPixels;
    const int margin = body * 3 / 2;
    const int width = body * 17 + 2 * margin;
    int height = 2 * margin;
    for (const auto& line : receipt.lines) height += static_cast<int>(std::lround(body * line.scale * 1.45));

    QImage paper(width, height, QImage::Format_RGB32);
    paper.fill(receipt.paperGrey < 255 ? QColor(receipt.paperGrey, receipt.paperGrey, receipt.paperGrey - 6)
               : receipt.photo         ? QColor(246, 243, 236)
                                       : Qt::white);
    {
        QPainter painter(&paper);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(QColor(25, 25, 25));
        int y = margin;
        for (const auto& line : receipt.lines) {
            const int pixels = static_cast<int>(std::lround(body * line.scale));
            QFont font(QString::fromStdString(&line == &receipt.lines.front() ? receipt.titleFamily
                                                                              : receipt.bodyFamily));
            font.setPixelSize(pixels);
            font.setBold(line.bold);
            painter.setFont(font);
            const int rowHeight = static_cast<int>(std::lround(body * line.scale * 1.45));
            const QRect row(margin, y, width - 2 * margin, rowHeight);
            const QString label = QString::fromStdString(line.label);
            if (line.centred) {
                painter.drawText(row, Qt::AlignHCenter | Qt::AlignVCenter, label);
            } else {
                painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, label);
                painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(line.value));
            }
            y += rowHeight;
        }
    }
    if (!receipt.photo) return paper.convertToFormat(QImage::Format_Grayscale8);
    degrade(paper);
    return paper;
}

// A phone photo: the slip slightly turned on a darker table, lit from one side, with sensor noise and a
// little blur.
void ReceiptGenerator::degrade(QImage& image) {
    const int border = image.width() / 10;
    QImage scene(image.width() + 2 * border, image.height() + 2 * border, QImage::Format_RGB32);
    scene.fill(QColor(uniform(70, 140), uniform(60, 120), uniform(50, 100)));
    {
        QPainter painter(&scene);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QTransform turn;
        turn.translate(scene.width() / 2.0, scene.height() / 2.0);
        turn.rotate(uniformReal(-3.0, 3.0));
        turn.translate(-image.width() / 2.0, -image.height() / 2.0);
        painter.setTransform(turn);
        painter.drawImage(0, 0, image);
        painter.resetTransform();
        QLinearGradient light(0, 0, scene.width() * uniformReal(0.5, 1.0), scene.height());
        light.setColorAt(0, QColor(0, 0, 0, 0));
        light.setColorAt(1, QColor(0, 0, 0, uniform(40, 110)));
        painter.fillRect(scene.rect(), light);
    }
    std::normal_distribution<double> noise(0.0, uniformReal(3.0, 10.0));
    for (int y = 0; y < scene.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(scene.scanLine(y));
        for (int x = 0; x < scene.width(); ++x) {
            const int n = static_cast<int>(noise(random_));
            auto channel = [n](int v) { return std::clamp(v + n, 0, 255); };
            row[x] = qRgb(channel(qRed(row[x])), channel(qGreen(row[x])), channel(qBlue(row[x])));
        }
    }
    // Box blur by shrinking and enlarging a little: a soft focus without a kernel loop.
    const double softness = uniformReal(0.75, 0.95);
    image =
        scene
            .scaled(static_cast<int>(scene.width() * softness), static_cast<int>(scene.height() * softness),
                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .scaled(scene.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace tavori::bench
