#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTableView>
#include <QThread>
#include <QToolTip>
#include <QtTest>

#include <iostream>

#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriName/DetailPane.h"
#include "TavoriName/DocumentTableModel.h"
#include "TavoriName/FooterView.h"
#include "tests/window/WindowTestSupport.h"

// Writes PNGs of the main window in a real X server (run under xvfb-run): empty, while reading, after reading
// (with the badges and one badge's hover text) and after saving. Fails when a state is not reached.
using namespace tavori;
using namespace tavori::test;
namespace fs = std::filesystem;

namespace {

bool waitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void settle(int milliseconds = 300) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// What is on the screen where the window is (tooltips included); the window's own rendering where the
// platform cannot read the screen.
bool shoot(MainWindow& window, const QString& path) {
    settle();
    QPixmap pixmap;
    if (QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        pixmap = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (pixmap.isNull()) pixmap = window.grab();
    const bool ok = pixmap.save(path);
    std::cout << (ok ? "wrote " : "could not write ") << path.toStdString() << '\n';
    return ok;
}

// A phone photo of a receipt: text on slightly tinted paper, turned a little, with noise; only OCR reads it.
void writePhotographedReceipt(const fs::path& path) {
    QImage page(900, 1200, QImage::Format_RGB32);
    page.fill(QColor(0x7a, 0x66, 0x50));
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(450, 600);
    painter.rotate(1.2);
    painter.translate(-360, -520);
    painter.fillRect(QRect(0, 0, 720, 1040), QColor(0xf7, 0xf3, 0xea));
    painter.setPen(Qt::black);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    const auto line = [&](int y, int size, const QString& left, const QString& right = {}) {
        font.setPixelSize(size);
        painter.setFont(font);
        painter.drawText(QPoint(70, y), left);
        if (!right.isEmpty()) painter.drawText(QRect(380, y - size, 270, size + 8), Qt::AlignRight, right);
    };
    line(120, 46, QStringLiteral("ベーカリー こむぎ舎"));
    line(180, 26, QStringLiteral("登録番号 T9876543210987"));
    line(260, 40, QStringLiteral("領収書"));
    line(330, 32, QStringLiteral("2024年6月12日 08:15"));
    line(420, 32, QStringLiteral("クロワッサン"), QStringLiteral("¥280"));
    line(480, 32, QStringLiteral("食パン 1斤"), QStringLiteral("¥420"));
    line(540, 32, QStringLiteral("カフェラテ"), QStringLiteral("¥480"));
    line(640, 40, QStringLiteral("合計"), QStringLiteral("¥1,180"));
    line(700, 26, QStringLiteral("(内消費税 8% ¥87)"));
    line(780, 32, QStringLiteral("お預り"), QStringLiteral("¥2,000"));
    line(840, 32, QStringLiteral("お釣り"), QStringLiteral("¥820"));
    painter.end();
    QRandomGenerator noise(7);
    for (int y = 0; y < page.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int d = static_cast<int>(noise.bounded(17)) - 8 - y / 120;
            const QColor c(row[x]);
            row[x] = qRgb(std::clamp(c.red() + d, 0, 255), std::clamp(c.green() + d, 0, 255),
                          std::clamp(c.blue() + d, 0, 255));
        }
    }
    page.save(QString::fromStdString(path.string()), "JPEG", 85);
}

}  // namespace

int main(int argc, char** argv) {
    OcrProcess::ensureSingleThreaded(argc, argv);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: window_screenshots FOLDER\n";
        return 2;
    }
    qunsetenv("TAVORI_LLM_URL");
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    WindowFixture f;
    f.app().setDetailPaneFactory([](AppModel& model) { return new DetailPane(model); });
    MainWindow& window = f.window();
    window.resize(1180, 700);
    window.move(40, 40);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    bool ok = shoot(window, out + "/01-empty.png");

    std::vector<fs::path> files;
    for (std::size_t i = 0; i < SamplePdf::samples().size(); ++i)
        files.push_back(f.writeSample(i, "samples/" + SamplePdf::samples()[i].fileName));
    const fs::path photo = f.folder() / "samples/receipt_photo.jpg";
    writePhotographedReceipt(photo);
    files.push_back(photo);
    f.writeDocument({"memo.pdf", {{"打ち合わせメモ", 36, 40, 16}, {"来週までに見積もりを送る", 36, 70, 11}}},
                    "samples/memo.pdf");
    files.push_back(f.folder() / "samples/memo.pdf");
    f.drop(files);
    const auto busy = [&] {
        for (int row = 0; row < f.model().itemCount(); ++row)
            if (f.model().itemAt(row).status() == DocumentItem::Status::analyzing) return true;
        return false;
    };
    ok = waitFor(busy, 5000) && shoot(window, out + "/02-reading.png") && ok;

    ok = waitFor([&] { return f.settled(); }, 120000) && ok;
    // The row that most needs a look is selected, and its badge's hover text is shown.
    int reviewRow = 0;
    for (int row = 0; row < f.model().itemCount(); ++row)
        if (f.model().itemAt(row).needsReview()) reviewRow = row;
    f.list()->selectRow(reviewRow);
    const QModelIndex badge = f.documents()->index(reviewRow, DocumentTableModel::statusColumn);
    const QPoint badgeCenter = f.list()->viewport()->mapToGlobal(f.list()->visualRect(badge).center());
    QToolTip::showText(badgeCenter + QPoint(8, 8), badge.data(Qt::ToolTipRole).toString(), f.list());
    ok = shoot(window, out + "/03-read.png") && ok;
    QToolTip::hideText();

    // The detail pane at the smallest window and maximised.
    window.resize(900, 560);
    waitFor([] { return false; }, 400);
    ok = shoot(window, out + "/05-pane-900x560.png") && ok;
    // Without a window manager (Xvfb) maximising does nothing: the window takes the whole screen itself.
    window.setGeometry(window.screen()->availableGeometry());
    window.showMaximized();
    waitFor([] { return false; }, 600);
    ok = shoot(window, out + "/06-pane-maximised.png") && ok;
    window.showNormal();
    window.resize(1180, 700);
    waitFor([] { return false; }, 400);

    const fs::path destination = f.folder() / "整理済み";
    fs::create_directories(destination);
    f.desktop().folderAnswer = destination;
    test::child<QPushButton>(window.footer(), "changeDestination")->click();
    window.footer()->saveButton()->click();
    ok = waitFor([&] { return f.model().lastSaveSummary().has_value(); }, 5000) && ok;
    ok = shoot(window, out + "/04-saved.png") && ok;

    for (int row = 0; row < f.model().itemCount(); ++row) {
        const DocumentItem& item = f.model().itemAt(row);
        std::cout << item.sourcePath().filename().string() << '\t' << item.status() << '\t'
                  << f.documents()
                         ->data(f.documents()->index(row, DocumentTableModel::newNameColumn))
                         .toString()
                         .toStdString()
                  << '\n';
    }
    return ok ? 0 : 1;
}
